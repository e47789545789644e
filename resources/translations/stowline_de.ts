<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
  <context>
    <name>StringTable</name>
    <message>
      <source>Stowline</source>
      <comment>101</comment>
      <translation>Stowline</translation>
    </message>
    <message>
      <source>The following problem caused a program crash:</source>
      <comment>150</comment>
      <translation>Folgendes Problem hat einen Programmabsturz verursacht:</translation>
    </message>
    <message>
      <source>Please reboot your system and see if you still experience problems.</source>
      <comment>151</comment>
      <translation>Bitte starten Sie Ihr System neu und prüfen Sie, ob das Problem weiterhin auftritt.</translation>
    </message>
    <message>
      <source>If you still have problems after the reboot, you can report the error to Velmora by clicking on "Report error".</source>
      <comment>152</comment>
      <translation>Wenn das Problem nach dem Neustart weiterhin auftritt, können Sie den Fehler an Velmora melden, indem Sie auf "Fehler melden" klicken.</translation>
    </message>
    <message>
      <source>Re&amp;boot</source>
      <comment>153</comment>
      <translation>Neu&amp;starten</translation>
    </message>
    <message>
      <source>&amp;Exit Stowline</source>
      <comment>154</comment>
      <translation>Stowline &amp;beenden</translation>
    </message>
    <message>
      <source>&amp;Report error</source>
      <comment>155</comment>
      <translation>Fehler &amp;melden</translation>
    </message>
    <message>
      <source> in </source>
      <comment>156</comment>
      <translation> in </translation>
    </message>
    <message>
      <source> at line </source>
      <comment>157</comment>
      <translation> in Zeile </translation>
    </message>
    <message>
      <source>mailto:Velmora Bug Report </source>
      <comment>158</comment>
      <translation>mailto:Velmora Bug Report </translation>
    </message>
    <message>
      <source>?subject=Error report: Stowline </source>
      <comment>159</comment>
      <translation>?subject=Error report: Stowline </translation>
    </message>
    <message>
      <source>&amp;Body=</source>
      <comment>160</comment>
      <translation>&amp;Body=</translation>
    </message>
    <message>
      <source>, line </source>
      <comment>161</comment>
      <translation>, Zeile </translation>
    </message>
    <message>
      <source>, error number </source>
      <comment>162</comment>
      <translation>, Fehlernummer </translation>
    </message>
    <message>
      <source>, Windows version=</source>
      <comment>163</comment>
      <translation>, Windows-Version=</translation>
    </message>
    <message>
      <source>File:</source>
      <comment>120</comment>
      <translation>Datei:</translation>
    </message>
    <message>
      <source>Stowline does not have enough free diskspace in your systems temp folder to save your data. Free more diskspace or change the location of your temp folder</source>
      <comment>121</comment>
      <translation>Stowline hat im temporären Ordner Ihres Systems nicht genug freien Speicherplatz, um Ihre Daten zu sichern. Geben Sie Speicherplatz frei oder wählen Sie einen anderen temporären Ordner</translation>
    </message>
    <message>
      <source>Backup Wizard</source>
      <comment>130</comment>
      <translation>Sicherungs-Assistent</translation>
    </message>
    <message>
      <source>Please wait while Stowline creates a new backup</source>
      <comment>131</comment>
      <translation>Bitte warten Sie, während Stowline eine neue Sicherung erstellt</translation>
    </message>
    <message>
      <source>&amp;Cancel</source>
      <comment>132</comment>
      <translation>&amp;Abbrechen</translation>
    </message>
    <message>
      <source>Cl&amp;ose</source>
      <comment>133</comment>
      <translation>&amp;Schließen</translation>
    </message>
    <message>
      <source>With Stowline you can backup and restore your:</source>
      <comment>102</comment>
      <translation>Mit Stowline können Sie Folgendes sichern und wiederherstellen:</translation>
    </message>
    <message>
      <source>-Outlook Express Identities:</source>
      <comment>103</comment>
      <translation>-Outlook Express-Identitäten:</translation>
    </message>
    <message>
      <source>-Email messages and accounts</source>
      <comment>104</comment>
      <translation>-E-Mail-Nachrichten und -Konten</translation>
    </message>
    <message>
      <source>-Newsgroup messages and accounts</source>
      <comment>105</comment>
      <translation>-Newsgroup-Nachrichten und -Konten</translation>
    </message>
    <message>
      <source>-Preferences and rules</source>
      <comment>106</comment>
      <translation>-Einstellungen und Regeln</translation>
    </message>
    <message>
      <source>-Windows Address Book</source>
      <comment>107</comment>
      <translation>-Windows-Adressbuch</translation>
    </message>
    <message>
      <source>-Internet Explorer Favorites</source>
      <comment>108</comment>
      <translation>-Internet Explorer-Favoriten</translation>
    </message>
    <message>
      <source>Backup options:</source>
      <comment>109</comment>
      <translation>Sicherungsoptionen:</translation>
    </message>
    <message>
      <source>Create a new backup</source>
      <comment>110</comment>
      <translation>Neue Sicherung erstellen</translation>
    </message>
    <message>
      <source>Restore a backup</source>
      <comment>111</comment>
      <translation>Sicherung wiederherstellen</translation>
    </message>
    <message>
      <source>Schedule a backup</source>
      <comment>112</comment>
      <translation>Sicherung planen</translation>
    </message>
    <message>
      <source>Advanced configuration options</source>
      <comment>113</comment>
      <translation>Erweiterte Einstellungen</translation>
    </message>
    <message>
      <source>Online Stowline items:</source>
      <comment>114</comment>
      <translation>Stowline online:</translation>
    </message>
    <message>
      <source>The Velmora website</source>
      <comment>115</comment>
      <translation>Die Website von Velmora</translation>
    </message>
    <message>
      <source>Online help and support for Stowline</source>
      <comment>116</comment>
      <translation>Online-Hilfe und Support für Stowline</translation>
    </message>
    <message>
      <source>Check for Stowline product updates</source>
      <comment>117</comment>
      <translation>Nach Aktualisierungen für Stowline suchen</translation>
    </message>
    <message>
      <source>Build</source>
      <comment>118</comment>
      <translation>Build</translation>
    </message>
    <message>
      <source>Release candidate 3</source>
      <comment>119</comment>
      <translation>Release Candidate 3</translation>
    </message>
    <message>
      <source>Version</source>
      <comment>122</comment>
      <translation>Version</translation>
    </message>
    <message>
      <source>Stowline allows you to backup your Outlook Express identities.</source>
      <comment>170</comment>
      <translation>Mit Stowline können Sie Ihre Outlook Express-Identitäten sichern.</translation>
    </message>
    <message>
      <source>Would you like to see more information about identities?</source>
      <comment>171</comment>
      <translation>Möchten Sie mehr über Identitäten erfahren?</translation>
    </message>
    <message>
      <source>/help_and_support/stowline10/identities/index.htm</source>
      <comment>172</comment>
      <translation>/help_and_support/stowline10/identities/index.htm</translation>
    </message>
    <message>
      <source>Would you like to send your Stowline comments or feature requests</source>
      <comment>173</comment>
      <translation>Möchten Sie Ihre Anmerkungen oder Wünsche zu Stowline</translation>
    </message>
    <message>
      <source>to Velmora?</source>
      <comment>174</comment>
      <translation>an Velmora senden?</translation>
    </message>
    <message>
      <source>mailto:Velmora Support&lt;</source>
      <comment>175</comment>
      <translation>mailto:Velmora Support&lt;</translation>
    </message>
    <message>
      <source>Save backup archive as:</source>
      <comment>176</comment>
      <translation>Sicherungsarchiv speichern unter:</translation>
    </message>
    <message>
      <source>Stowline archive|*.stw</source>
      <comment>177</comment>
      <translation>Stowline-Archiv|*.stw</translation>
    </message>
    <message>
      <source>Backup</source>
      <comment>178</comment>
      <translation>Sicherung</translation>
    </message>
    <message>
      <source>Please enter a valid filename!</source>
      <comment>179</comment>
      <translation>Bitte geben Sie einen gültigen Dateinamen ein!</translation>
    </message>
    <message>
      <source>Open backup archive:</source>
      <comment>180</comment>
      <translation>Sicherungsarchiv öffnen:</translation>
    </message>
    <message>
      <source>The archive you selected does not exist!</source>
      <comment>181</comment>
      <translation>Das ausgewählte Archiv existiert nicht!</translation>
    </message>
    <message>
      <source>The file you selected does not seem to be a valid Stowline archive.</source>
      <comment>182</comment>
      <translation>Die ausgewählte Datei scheint kein gültiges Stowline-Archiv zu sein.</translation>
    </message>
    <message>
      <source>/index.htm</source>
      <comment>183</comment>
      <translation>/index.htm</translation>
    </message>
    <message>
      <source>/help_and_support/stowline10/index.htm</source>
      <comment>184</comment>
      <translation>/help_and_support/stowline10/index.htm</translation>
    </message>
    <message>
      <source>/updates/stowline/</source>
      <comment>185</comment>
      <translation>/updates/stowline/</translation>
    </message>
    <message>
      <source>Usage: stowline [OPTION]... [FILE]</source>
      <comment>1100</comment>
      <translation>Aufruf: stowline [OPTION]... [DATEI]</translation>
    </message>
    <message>
      <source>Back up and restore legacy mail data as one .stw archive.</source>
      <comment>1101</comment>
      <translation>Alte E-Mail-Daten als ein .stw-Archiv sichern und wiederherstellen.</translation>
    </message>
    <message>
      <source>With FILE, open the Restore Wizard on that archive.</source>
      <comment>1102</comment>
      <translation>Mit DATEI öffnet sich der Wiederherstellungs-Assistent für dieses Archiv.</translation>
    </message>
    <message>
      <source>  -s, --schedule-now    run the scheduled backup if due, then exit (also /S)</source>
      <comment>1103</comment>
      <translation>  -s, --schedule-now    fällige Sicherung ausführen und beenden (auch /S)</translation>
    </message>
    <message>
      <source>  -r, --restore=FILE    open the Restore Wizard on FILE (also /R FILE)</source>
      <comment>1104</comment>
      <translation>  -r, --restore=DATEI   Wiederherstellung von DATEI öffnen (auch /R DATEI)</translation>
    </message>
    <message>
      <source>  -h, --help            display this help and exit</source>
      <comment>1105</comment>
      <translation>  -h, --help            diese Hilfe anzeigen und beenden</translation>
    </message>
    <message>
      <source>      --version         output version information and exit</source>
      <comment>1106</comment>
      <translation>      --version         Versionsinformation anzeigen und beenden</translation>
    </message>
    <message>
      <source>Report bugs to: </source>
      <comment>1107</comment>
      <translation>Fehler melden an: </translation>
    </message>
    <message>
      <source>Home page: </source>
      <comment>1108</comment>
      <translation>Homepage: </translation>
    </message>
    <message>
      <source>unrecognized option </source>
      <comment>1110</comment>
      <translation>unbekannte Option </translation>
    </message>
    <message>
      <source>option requires an argument: </source>
      <comment>1111</comment>
      <translation>Option verlangt ein Argument: </translation>
    </message>
    <message>
      <source>too many arguments: </source>
      <comment>1112</comment>
      <translation>zu viele Argumente: </translation>
    </message>
    <message>
      <source>Try 'stowline --help' for more information.</source>
      <comment>1113</comment>
      <translation>»stowline --help« gibt weitere Informationen.</translation>
    </message>
    <message>
      <source>only one of --schedule-now, --restore and FILE may be given</source>
      <comment>1114</comment>
      <translation>nur eines von --schedule-now, --restore und DATEI ist erlaubt</translation>
    </message>
    <message>
      <source>Usage: stowline-regedit /e [/a] FILE [KEY]</source>
      <comment>1120</comment>
      <translation>Aufruf: stowline-regedit /e [/a] DATEI [SCHLÜSSEL]</translation>
    </message>
    <message>
      <source>  or:  stowline-regedit [/s] FILE</source>
      <comment>1121</comment>
      <translation>  oder: stowline-regedit [/s] DATEI</translation>
    </message>
    <message>
      <source>Export registry keys of Stowline's registry to a .reg file, or import one.</source>
      <comment>1122</comment>
      <translation>Exportiert Schlüssel der Registry von Stowline in eine .reg-Datei oder importiert eine.</translation>
    </message>
    <message>
      <source>  /e FILE [KEY]   export KEY with its subkeys (the whole registry without KEY)</source>
      <comment>1123</comment>
      <translation>  /e DATEI [SCHLÜSSEL]   SCHLÜSSEL exportieren (ohne: alles)</translation>
    </message>
    <message>
      <source>  /a              with /e: write REGEDIT4 instead of Windows Registry Editor 5.00</source>
      <comment>1124</comment>
      <translation>  /a                     mit /e: REGEDIT4 statt Version 5.00 schreiben</translation>
    </message>
    <message>
      <source>  /s FILE         import FILE without asking (also without /s)</source>
      <comment>1125</comment>
      <translation>  /s DATEI               DATEI ohne Rückfrage importieren (auch ohne /s)</translation>
    </message>
    <message>
      <source>  -h, --help      display this help and exit</source>
      <comment>1126</comment>
      <translation>  -h, --help             diese Hilfe anzeigen und beenden</translation>
    </message>
    <message>
      <source>      --version   output version information and exit</source>
      <comment>1127</comment>
      <translation>      --version          Versionsinformation anzeigen und beenden</translation>
    </message>
    <message>
      <source>Exit status: 0 done, 1 nothing done, 2 bad arguments, 3 lines skipped.</source>
      <comment>1128</comment>
      <translation>Status: 0 erledigt, 1 nichts getan, 2 falscher Aufruf, 3 Zeilen übersprungen.</translation>
    </message>
    <message>
      <source>      --wine-prefix=DIR   work on the registry and drives of the Wine prefix DIR</source>
      <comment>1130</comment>
      <translation>      --wine-prefix=VERZ  mit Registry und Laufwerken des Wine-Präfix VERZ arbeiten</translation>
    </message>
    <message>
      <source>      --profile=FILE      work on the NTUSER.DAT FILE of an offline Windows profile (read only)</source>
      <comment>1131</comment>
      <translation>      --profile=DATEI     mit NTUSER.DAT-DATEI eines Windows-Profils arbeiten (nur lesend)</translation>
    </message>
    <message>
      <source>      --windows-root=MOUNT  with --profile: the folder that is C:\\ of that Windows</source>
      <comment>1132</comment>
      <translation>      --windows-root=MOUNT  mit --profile: der Ordner, der C:\\ dieses Windows ist</translation>
    </message>
    <message>
      <source>--wine-prefix cannot be combined with --profile or --windows-root</source>
      <comment>1133</comment>
      <translation>--wine-prefix lässt sich nicht mit --profile oder --windows-root verbinden</translation>
    </message>
    <message>
      <source>--profile and --windows-root go together</source>
      <comment>1134</comment>
      <translation>--profile und --windows-root gehören zusammen</translation>
    </message>
    <message>
      <source>  --wine-prefix DIR                      work on the registry of the Wine prefix DIR</source>
      <comment>1135</comment>
      <translation>  --wine-prefix VERZ                     mit der Registry des Wine-Präfix VERZ arbeiten</translation>
    </message>
    <message>
      <source>  --profile FILE --windows-root MOUNT    work on the NTUSER.DAT FILE of an offline Windows profile</source>
      <comment>1136</comment>
      <translation>  --profile DATEI --windows-root MOUNT   mit der NTUSER.DAT-DATEI eines Windows-Profils arbeiten</translation>
    </message>
    <message>
      <source>Registry: </source>
      <comment>1137</comment>
      <translation>Registry: </translation>
    </message>
    <message>
      <source>Stowline's registry store </source>
      <comment>1138</comment>
      <translation>Registry-Speicher von Stowline </translation>
    </message>
    <message>
      <source>Wine prefix </source>
      <comment>1139</comment>
      <translation>Wine-Präfix </translation>
    </message>
    <message>
      <source>Windows profile (read only) </source>
      <comment>1140</comment>
      <translation>Windows-Profil (nur lesend) </translation>
    </message>
    <message>
      <source>Drives: </source>
      <comment>1141</comment>
      <translation>Laufwerke: </translation>
    </message>
    <message>
      <source>paths used as recorded</source>
      <comment>1142</comment>
      <translation>Pfade wie eingetragen</translation>
    </message>
    <message>
      <source>An offline Windows profile is only read: restore into a Wine prefix or into Stowline's own registry store.</source>
      <comment>1143</comment>
      <translation>Ein Windows-Profil ohne laufendes Windows wird nur gelesen: stellen Sie in ein Wine-Präfix oder in den Registry-Speicher von Stowline wieder her.</translation>
    </message>
    <message>
      <source>Check failed:</source>
      <comment>1200</comment>
      <translation>Prüfung fehlgeschlagen:</translation>
    </message>
    <message>
      <source>cannot be read as a zip archive (its table of contents is missing or damaged).</source>
      <comment>1201</comment>
      <translation>lässt sich nicht als ZIP-Archiv lesen (sein Inhaltsverzeichnis fehlt oder ist beschädigt).</translation>
    </message>
    <message>
      <source>is damaged: its checksum does not match.</source>
      <comment>1202</comment>
      <translation>ist beschädigt: seine Prüfsumme stimmt nicht.</translation>
    </message>
    <message>
      <source>is not a sound zip archive.</source>
      <comment>1203</comment>
      <translation>ist kein intaktes ZIP-Archiv.</translation>
    </message>
    <message>
      <source>is not a readable registry file:</source>
      <comment>1204</comment>
      <translation>ist keine lesbare Registrierungsdatei:</translation>
    </message>
    <message>
      <source>cannot be checked (its zip layout is not supported).</source>
      <comment>1205</comment>
      <translation>lässt sich nicht prüfen (sein ZIP-Aufbau wird nicht unterstützt).</translation>
    </message>
    <message>
      <source>Checking the archive</source>
      <comment>1206</comment>
      <translation>Prüfe das Archiv</translation>
    </message>
    <message>
      <source>Last backup:</source>
      <comment>1210</comment>
      <translation>Letzte Sicherung:</translation>
    </message>
    <message>
      <source>No backup yet</source>
      <comment>1211</comment>
      <translation>Noch keine Sicherung</translation>
    </message>
    <message>
      <source>Next scheduled backup:</source>
      <comment>1212</comment>
      <translation>Nächste geplante Sicherung:</translation>
    </message>
    <message>
      <source>Overdue: the last good backup is older than the schedule allows.</source>
      <comment>1213</comment>
      <translation>Überfällig: Die letzte gelungene Sicherung ist älter, als der Zeitplan erlaubt.</translation>
    </message>
    <message>
      <source>The last scheduled backup failed.</source>
      <comment>1214</comment>
      <translation>Die letzte geplante Sicherung ist fehlgeschlagen.</translation>
    </message>
    <message>
      <source>The archive is sound.</source>
      <comment>1215</comment>
      <translation>Das Archiv ist intakt.</translation>
    </message>
    <message>
      <source>  -V, --verify=FILE     check that the archive FILE reads back whole, then exit</source>
      <comment>1216</comment>
      <translation>  -V, --verify=DATEI    prüfen, ob sich das Archiv DATEI vollständig lesen lässt, dann beenden</translation>
    </message>
    <message>
      <source>      --status          print the last backup, the next scheduled one and warnings</source>
      <comment>1217</comment>
      <translation>      --status          letzte und nächste geplante Sicherung sowie Warnungen ausgeben</translation>
    </message>
    <message>
      <source>Saved:</source>
      <comment>1220</comment>
      <translation>Gesichert:</translation>
    </message>
    <message>
      <source>Identities:</source>
      <comment>1221</comment>
      <translation>Identitäten:</translation>
    </message>
    <message>
      <source>Archive:</source>
      <comment>1222</comment>
      <translation>Archiv:</translation>
    </message>
    <message>
      <source>Size:</source>
      <comment>1223</comment>
      <translation>Größe:</translation>
    </message>
    <message>
      <source>Open &amp;folder</source>
      <comment>1224</comment>
      <translation>&amp;Ordner öffnen</translation>
    </message>
    <message>
      <source>Restored:</source>
      <comment>1225</comment>
      <translation>Wiederhergestellt:</translation>
    </message>
    <message>
      <source>restored to</source>
      <comment>1226</comment>
      <translation>wiederhergestellt nach</translation>
    </message>
    <message>
      <source>renamed to</source>
      <comment>1227</comment>
      <translation>umbenannt in</translation>
    </message>
    <message>
      <source>Favorites replaced in</source>
      <comment>1228</comment>
      <translation>Favoriten ersetzt in</translation>
    </message>
    <message>
      <source>Favorites added to</source>
      <comment>1229</comment>
      <translation>Favoriten hinzugefügt zu</translation>
    </message>
    <message>
      <source>Address book restored to</source>
      <comment>1230</comment>
      <translation>Adressbuch wiederhergestellt nach</translation>
    </message>
    <message>
      <source>(no folder recorded in the archive)</source>
      <comment>1231</comment>
      <translation>(kein Ordner im Archiv verzeichnet)</translation>
    </message>
    <message>
      <source>No program is set up to open this address. You can open it by hand:</source>
      <comment>1232</comment>
      <translation>Kein Programm ist eingerichtet, um diese Adresse zu öffnen. Sie können sie selbst öffnen:</translation>
    </message>
    <message>
      <source>The scheduled backup will now start on its own: the systemd user timer stowline-backup.timer runs it.</source>
      <comment>1240</comment>
      <translation>Die geplante Sicherung startet jetzt von selbst: Der systemd-Benutzer-Timer stowline-backup.timer führt sie aus.</translation>
    </message>
    <message>
      <source>The scheduled backup will now start on its own: a line in your crontab runs it (there is no systemd user session).</source>
      <comment>1241</comment>
      <translation>Die geplante Sicherung startet jetzt von selbst: Eine Zeile in Ihrer crontab führt sie aus (es gibt keine systemd-Benutzersitzung).</translation>
    </message>
    <message>
      <source>The scheduled backup cannot start on its own here: neither systemd for your user nor crontab is available. Have "stowline /S" run by a scheduler of your choice.</source>
      <comment>1242</comment>
      <translation>Die geplante Sicherung kann hier nicht von selbst starten: Weder systemd für Ihren Benutzer noch crontab ist verfügbar. Lassen Sie "stowline /S" von einem Planer Ihrer Wahl ausführen.</translation>
    </message>
    <message>
      <source>Stowline is already running on this registry store; only one may change it at a time:</source>
      <comment>1243</comment>
      <translation>Stowline läuft bereits mit diesem Registrierungsspeicher; nur eines darf ihn gleichzeitig ändern:</translation>
    </message>
    <message>
      <source>This is what the restore will do</source>
      <comment>1250</comment>
      <translation>Das wird die Wiederherstellung tun</translation>
    </message>
    <message>
      <source>Archive made:</source>
      <comment>1251</comment>
      <translation>Archiv erstellt:</translation>
    </message>
    <message>
      <source>Items:</source>
      <comment>1253</comment>
      <translation>Elemente:</translation>
    </message>
    <message>
      <source>Identity</source>
      <comment>1254</comment>
      <translation>Identität</translation>
    </message>
    <message>
      <source>replaces the identity of the same ID in place</source>
      <comment>1255</comment>
      <translation>ersetzt die Identität mit derselben ID an Ort und Stelle</translation>
    </message>
    <message>
      <source>is added as a new identity</source>
      <comment>1256</comment>
      <translation>wird als neue Identität hinzugefügt</translation>
    </message>
    <message>
      <source>its name is in use here, you will be asked for a new one</source>
      <comment>1257</comment>
      <translation>ihr Name ist hier vergeben, Sie werden nach einem neuen gefragt</translation>
    </message>
    <message>
      <source>message store folder:</source>
      <comment>1258</comment>
      <translation>Ordner des Nachrichtenspeichers:</translation>
    </message>
    <message>
      <source>not available here: you will be asked for another folder</source>
      <comment>1259</comment>
      <translation>hier nicht verfügbar: Sie werden nach einem anderen Ordner gefragt</translation>
    </message>
    <message>
      <source>Favorites: replace the Favorites in</source>
      <comment>1260</comment>
      <translation>Favoriten: die Favoriten ersetzen in</translation>
    </message>
    <message>
      <source>Favorites: add to the Favorites in</source>
      <comment>1261</comment>
      <translation>Favoriten: zu den Favoriten hinzufügen in</translation>
    </message>
    <message>
      <source>Address book:</source>
      <comment>1262</comment>
      <translation>Adressbuch:</translation>
    </message>
    <message>
      <source>Restore plan</source>
      <comment>1263</comment>
      <translation>Wiederherstellungsplan</translation>
    </message>
    <message>
      <source>could not be started</source>
      <comment>1300</comment>
      <translation>konnte nicht gestartet werden</translation>
    </message>
    <message>
      <source>ended with exit status</source>
      <comment>1301</comment>
      <translation>endete mit dem Exit-Status</translation>
    </message>
    <message>
      <source>was ended by signal</source>
      <comment>1302</comment>
      <translation>wurde beendet durch Signal</translation>
    </message>
    <message>
      <source>Backup not made</source>
      <comment>1303</comment>
      <translation>Sicherung nicht erstellt</translation>
    </message>
    <message>
      <source>Stowline did not make the backup: this registry key could not be exported:</source>
      <comment>1304</comment>
      <translation>Stowline hat die Sicherung nicht erstellt: dieser Registrierungsschlüssel konnte nicht exportiert werden:</translation>
    </message>
    <message>
      <source>Any older backup archive was left as it was.</source>
      <comment>1305</comment>
      <translation>Eine ältere Sicherungsarchiv-Datei blieb unverändert.</translation>
    </message>
    <message>
      <source>Its registry settings could not be imported:</source>
      <comment>1306</comment>
      <translation>Seine Registrierungseinstellungen konnten nicht importiert werden:</translation>
    </message>
    <message>
      <source>Everything this restore had changed was put back as it was.</source>
      <comment>1307</comment>
      <translation>Alles, was diese Wiederherstellung geändert hatte, wurde wieder so hergestellt, wie es war.</translation>
    </message>
    <message>
      <source>Restore stopped</source>
      <comment>1308</comment>
      <translation>Wiederherstellung abgebrochen</translation>
    </message>
    <message>
      <source>Kept to undo this restore:</source>
      <comment>1309</comment>
      <translation>Aufbewahrt, um diese Wiederherstellung rückgängig zu machen:</translation>
    </message>
    <message>
      <source>There is no restore to undo.</source>
      <comment>1310</comment>
      <translation>Es gibt keine Wiederherstellung, die rückgängig gemacht werden kann.</translation>
    </message>
    <message>
      <source>The backup holds a hidden file, which is never unpacked:</source>
      <comment>1311</comment>
      <translation>Die Sicherung enthält eine versteckte Datei, die nie entpackt wird:</translation>
    </message>
    <message>
      <source>The place to keep what the restore replaces could not be made:</source>
      <comment>1312</comment>
      <translation>Der Ort für das, was die Wiederherstellung ersetzt, konnte nicht angelegt werden:</translation>
    </message>
    <message>
      <source>folder that receives its files:</source>
      <comment>1313</comment>
      <translation>Ordner, der seine Dateien erhält:</translation>
    </message>
    <message>
      <source>files there that it replaces:</source>
      <comment>1314</comment>
      <translation>Dateien dort, die ersetzt werden:</translation>
    </message>
    <message>
      <source>The last restore was undone: what it had changed is back as it was before.</source>
      <comment>1315</comment>
      <translation>Die letzte Wiederherstellung wurde rückgängig gemacht: was sie geändert hatte, ist wieder wie vorher.</translation>
    </message>
    <message>
      <source>      --undo-restore    put back what the last restore changed, then exit</source>
      <comment>1316</comment>
      <translation>      --undo-restore    macht die letzte Wiederherstellung rückgängig und endet</translation>
    </message>
    <message>
      <source>Undo last restore</source>
      <comment>1317</comment>
      <translation>Letzte Wiederherstellung rückgängig machen</translation>
    </message>
    <message>
      <source>Put back everything the last restore changed, as it was before that restore?</source>
      <comment>1318</comment>
      <translation>Alles, was die letzte Wiederherstellung geändert hat, wieder so herstellen, wie es vor ihr war?</translation>
    </message>
    <message>
      <source>This backup is damaged; what is damaged cannot be restored:</source>
      <comment>1319</comment>
      <translation>Diese Sicherung ist beschädigt; was beschädigt ist, kann nicht wiederhergestellt werden:</translation>
    </message>
    <message>
      <source>Still intact, and can be restored:</source>
      <comment>1320</comment>
      <translation>Noch unversehrt und wiederherstellbar:</translation>
    </message>
    <message>
      <source>Restore these items now? Nothing is written otherwise.</source>
      <comment>1321</comment>
      <translation>Diese Elemente jetzt wiederherstellen? Sonst wird nichts geschrieben.</translation>
    </message>
    <message>
      <source>Nothing of it can be restored, and nothing was changed.</source>
      <comment>1322</comment>
      <translation>Nichts davon kann wiederhergestellt werden, und nichts wurde geändert.</translation>
    </message>
    <message>
      <source>Damaged backup</source>
      <comment>1323</comment>
      <translation>Beschädigte Sicherung</translation>
    </message>
    <message>
      <source>is encrypted or packed in a way Stowline cannot unpack.</source>
      <comment>1324</comment>
      <translation>ist verschlüsselt oder so gepackt, dass Stowline es nicht entpacken kann.</translation>
    </message>
    <message>
      <source>before restore</source>
      <comment>1360</comment>
      <translation>vor der Wiederherstellung</translation>
    </message>
    <message>
      <source>   as it was before the restore:</source>
      <comment>1361</comment>
      <translation>   wie vor der Wiederherstellung:</translation>
    </message>
    <message>
      <source>The last restore was undone, except what changed after it, which was kept as it is now:</source>
      <comment>1362</comment>
      <translation>Die letzte Wiederherstellung wurde rückgängig gemacht, außer dem, was sich danach geändert hat; das wurde so behalten, wie es jetzt ist:</translation>
    </message>
    <message>
      <source>The last restore was made on another registry, and only there can it be undone:</source>
      <comment>1363</comment>
      <translation>Die letzte Wiederherstellung wurde in einer anderen Registrierung gemacht und kann nur dort rückgängig gemacht werden:</translation>
    </message>
    <message>
      <source>Stowline now uses:</source>
      <comment>1364</comment>
      <translation>Stowline verwendet jetzt:</translation>
    </message>
    <message>
      <source>A restore or an undo was cut short before it had put everything in place; what it changed is kept in</source>
      <comment>1365</comment>
      <translation>Eine Wiederherstellung oder ein Rückgängigmachen wurde abgebrochen, bevor alles an seinem Platz war; was sie geändert hat, liegt in</translation>
    </message>
    <message>
      <source>Put everything back as it was before that restore now? Nothing new is restored until that is done.</source>
      <comment>1366</comment>
      <translation>Jetzt alles so zurücklegen, wie es vor dieser Wiederherstellung war? Bis dahin wird nichts Neues wiederhergestellt.</translation>
    </message>
    <message>
      <source>Nothing was restored: that restore must first be put back (Undo last restore, or stowline --undo-restore).</source>
      <comment>1367</comment>
      <translation>Nichts wurde wiederhergestellt: Diese Wiederherstellung muss zuerst zurückgelegt werden (Letzte Wiederherstellung rückgängig machen, oder stowline --undo-restore).</translation>
    </message>
    <message>
      <source>The scheduled backup was not made, as the profile is half restored: put that restore back first (Undo last restore, or stowline --undo-restore).</source>
      <comment>1368</comment>
      <translation>Die geplante Sicherung wurde nicht erstellt, da das Profil nur halb wiederhergestellt ist: Legen Sie diese Wiederherstellung zuerst zurück (Letzte Wiederherstellung rückgängig machen, oder stowline --undo-restore).</translation>
    </message>
    <message>
      <source>The scheduled backup cannot start on its own: the path of Stowline or of its registry store holds a line break, which neither systemd nor crontab can run. Move it to a folder whose name has none.</source>
      <comment>1380</comment>
      <translation>Die geplante Sicherung kann nicht von selbst starten: Der Pfad von Stowline oder seines Registrierungsspeichers enthält einen Zeilenumbruch, den weder systemd noch crontab ausführen kann. Verschieben Sie ihn in einen Ordner, dessen Name keinen enthält.</translation>
    </message>
    <message>
      <source>Cannot read the archive: </source>
      <comment>1400</comment>
      <translation>Das Archiv kann nicht gelesen werden: </translation>
    </message>
    <message>
      <source>The archive holds no mail and no Favorites: </source>
      <comment>1401</comment>
      <translation>Das Archiv enthält weder E-Mail noch Favoriten: </translation>
    </message>
    <message>
      <source>The folder's message store is missing: </source>
      <comment>1402</comment>
      <translation>Der Nachrichtenspeicher des Ordners fehlt: </translation>
    </message>
    <message>
      <source>The folder's message store cannot be read: </source>
      <comment>1403</comment>
      <translation>Der Nachrichtenspeicher des Ordners kann nicht gelesen werden: </translation>
    </message>
    <message>
      <source>Recovered</source>
      <comment>1404</comment>
      <translation>Wiederhergestellt</translation>
    </message>
    <message>
      <source>Cannot write to: </source>
      <comment>1405</comment>
      <translation>Schreiben nicht möglich: </translation>
    </message>
    <message>
      <source>Damaged message index: </source>
      <comment>1406</comment>
      <translation>Beschädigter Nachrichtenindex: </translation>
    </message>
    <message>
      <source>Favorites</source>
      <comment>1407</comment>
      <translation>Favoriten</translation>
    </message>
    <message>
      <source>message </source>
      <comment>1408</comment>
      <translation>Nachricht </translation>
    </message>
    <message>
      <source> messages, </source>
      <comment>1409</comment>
      <translation> Nachrichten, </translation>
    </message>
    <message>
      <source> folders, in </source>
      <comment>1410</comment>
      <translation> Ordner, in </translation>
    </message>
    <message>
      <source> links in </source>
      <comment>1411</comment>
      <translation> Links in </translation>
    </message>
    <message>
      <source>Not exported: </source>
      <comment>1412</comment>
      <translation>Nicht exportiert: </translation>
    </message>
    <message>
      <source>No message could be read.</source>
      <comment>1413</comment>
      <translation>Keine Nachricht konnte gelesen werden.</translation>
    </message>
    <message>
      <source>      --export-mail=DIR   export mail and Favorites into DIR (--format mbox|maildir|eml, --recover)</source>
      <comment>1414</comment>
      <translation>      --export-mail=DIR   E-Mail und Favoriten nach DIR exportieren (--format mbox|maildir|eml, --recover)</translation>
    </message>
    <message>
      <source>Unknown mail format (mbox, maildir or eml): </source>
      <comment>1415</comment>
      <translation>Unbekanntes E-Mail-Format (mbox, maildir oder eml): </translation>
    </message>
    <message>
      <source>--format and --recover go with --export-mail</source>
      <comment>1416</comment>
      <translation>--format und --recover gehören zu --export-mail</translation>
    </message>
    <message>
      <source>Export cancelled.</source>
      <comment>1417</comment>
      <translation>Export abgebrochen.</translation>
    </message>
    <message>
      <source>Export mail...</source>
      <comment>1450</comment>
      <translation>E-Mails exportieren...</translation>
    </message>
    <message>
      <source>Browse archive...</source>
      <comment>1451</comment>
      <translation>Archiv durchsuchen...</translation>
    </message>
    <message>
      <source>Export Mail</source>
      <comment>1452</comment>
      <translation>E-Mails exportieren</translation>
    </message>
    <message>
      <source>Identities</source>
      <comment>1453</comment>
      <translation>Identitäten</translation>
    </message>
    <message>
      <source>Check the identities whose mail you want to export:</source>
      <comment>1454</comment>
      <translation>Wählen Sie die Identitäten, deren E-Mails Sie exportieren möchten:</translation>
    </message>
    <message>
      <source>Export &amp;to this folder:</source>
      <comment>1455</comment>
      <translation>Exportieren in diesen &amp;Ordner:</translation>
    </message>
    <message>
      <source>B&amp;rowse...</source>
      <comment>1456</comment>
      <translation>Du&amp;rchsuchen...</translation>
    </message>
    <message>
      <source>Format</source>
      <comment>1457</comment>
      <translation>Format</translation>
    </message>
    <message>
      <source>&amp;mbox: one file per mail folder (Thunderbird, Evolution, mutt)</source>
      <comment>1458</comment>
      <translation>&amp;mbox: eine Datei je E-Mail-Ordner (Thunderbird, Evolution, mutt)</translation>
    </message>
    <message>
      <source>Mai&amp;ldir: one file per message in a folder tree (mail servers, mutt)</source>
      <comment>1459</comment>
      <translation>Mai&amp;ldir: eine Datei je Nachricht in einem Ordnerbaum (Mailserver, mutt)</translation>
    </message>
    <message>
      <source>.eml &amp;files: one file per message, opened by any mail program</source>
      <comment>1460</comment>
      <translation>.eml-&amp;Dateien: eine Datei je Nachricht, von jedem E-Mail-Programm zu öffnen</translation>
    </message>
    <message>
      <source>&amp;Export</source>
      <comment>1461</comment>
      <translation>&amp;Exportieren</translation>
    </message>
    <message>
      <source>Choose the folder to export the mail to:</source>
      <comment>1462</comment>
      <translation>Wählen Sie den Ordner, in den die E-Mails exportiert werden:</translation>
    </message>
    <message>
      <source>The folder already holds a folder of this identity's name. Please choose another folder:</source>
      <comment>1463</comment>
      <translation>Der Ordner enthält schon einen Ordner mit dem Namen dieser Identität. Bitte wählen Sie einen anderen Ordner:</translation>
    </message>
    <message>
      <source>Please wait while Stowline exports the mail</source>
      <comment>1464</comment>
      <translation>Bitte warten Sie, während Stowline die E-Mails exportiert</translation>
    </message>
    <message>
      <source>Exporting:</source>
      <comment>1465</comment>
      <translation>Export:</translation>
    </message>
    <message>
      <source>Export: Done!</source>
      <comment>1466</comment>
      <translation>Export: Fertig!</translation>
    </message>
    <message>
      <source>Export: Cancelled.</source>
      <comment>1467</comment>
      <translation>Export: Abgebrochen.</translation>
    </message>
    <message>
      <source>messages in</source>
      <comment>1468</comment>
      <translation>Nachrichten in</translation>
    </message>
    <message>
      <source>folders</source>
      <comment>1469</comment>
      <translation>Ordnern</translation>
    </message>
    <message>
      <source>Could not be read:</source>
      <comment>1470</comment>
      <translation>Nicht lesbar:</translation>
    </message>
    <message>
      <source>Nothing could be read from the message stores.</source>
      <comment>1471</comment>
      <translation>Aus den Nachrichtenspeichern konnte nichts gelesen werden.</translation>
    </message>
    <message>
      <source>No identities with mail were found.</source>
      <comment>1472</comment>
      <translation>Es wurden keine Identitäten mit E-Mails gefunden.</translation>
    </message>
    <message>
      <source>Exported to:</source>
      <comment>1473</comment>
      <translation>Exportiert nach:</translation>
    </message>
    <message>
      <source>E&amp;xport mail...</source>
      <comment>1474</comment>
      <translation>E-Mails e&amp;xportieren...</translation>
    </message>
    <message>
      <source>Archive Browser</source>
      <comment>1475</comment>
      <translation>Archiv-Browser</translation>
    </message>
    <message>
      <source>Folders</source>
      <comment>1476</comment>
      <translation>Ordner</translation>
    </message>
    <message>
      <source>Messages</source>
      <comment>1477</comment>
      <translation>Nachrichten</translation>
    </message>
    <message>
      <source>Date</source>
      <comment>1478</comment>
      <translation>Datum</translation>
    </message>
    <message>
      <source>From</source>
      <comment>1479</comment>
      <translation>Von</translation>
    </message>
    <message>
      <source>Subject</source>
      <comment>1480</comment>
      <translation>Betreff</translation>
    </message>
    <message>
      <source>Size</source>
      <comment>1481</comment>
      <translation>Größe</translation>
    </message>
    <message>
      <source>&amp;Search subject and sender:</source>
      <comment>1482</comment>
      <translation>&amp;Suche in Betreff und Absender:</translation>
    </message>
    <message>
      <source>Message</source>
      <comment>1483</comment>
      <translation>Nachricht</translation>
    </message>
    <message>
      <source>messages</source>
      <comment>1484</comment>
      <translation>Nachrichten</translation>
    </message>
    <message>
      <source>Reading the archive...</source>
      <comment>1485</comment>
      <translation>Das Archiv wird gelesen...</translation>
    </message>
    <message>
      <source>This message could not be read:</source>
      <comment>1486</comment>
      <translation>Diese Nachricht konnte nicht gelesen werden:</translation>
    </message>
    <message>
      <source>The archive holds no identities.</source>
      <comment>1487</comment>
      <translation>Das Archiv enthält keine Identitäten.</translation>
    </message>
    <message>
      <source>(no subject)</source>
      <comment>1488</comment>
      <translation>(kein Betreff)</translation>
    </message>
    <message>
      <source>Attachments:</source>
      <comment>1489</comment>
      <translation>Anhänge:</translation>
    </message>
    <message>
      <source>The archive could not be read:</source>
      <comment>1490</comment>
      <translation>Das Archiv konnte nicht gelesen werden:</translation>
    </message>
    <message>
      <source>Read-only: nothing is restored or changed.</source>
      <comment>1491</comment>
      <translation>Nur lesen: nichts wird wiederhergestellt oder geändert.</translation>
    </message>
    <message>
      <source>From:</source>
      <comment>1492</comment>
      <translation>Von:</translation>
    </message>
    <message>
      <source>To:</source>
      <comment>1493</comment>
      <translation>An:</translation>
    </message>
    <message>
      <source>Date:</source>
      <comment>1494</comment>
      <translation>Datum:</translation>
    </message>
    <message>
      <source>Subject:</source>
      <comment>1495</comment>
      <translation>Betreff:</translation>
    </message>
    <message>
      <source>Export stopped:</source>
      <comment>1496</comment>
      <translation>Export abgebrochen:</translation>
    </message>
    <message>
      <source>Favorites:</source>
      <comment>1497</comment>
      <translation>Favoriten:</translation>
    </message>
    <message>
      <source>links in bookmarks.html</source>
      <comment>1498</comment>
      <translation>Links in bookmarks.html</translation>
    </message>
    <message>
      <source>Bro&amp;wse archive...</source>
      <comment>1499</comment>
      <translation>Archiv d&amp;urchsuchen...</translation>
    </message>
    <message>
      <source>Not scheduled: no systemd user timer or crontab line starts the scheduled backup.</source>
      <comment>1500</comment>
      <translation>Nicht geplant: Kein systemd-Benutzer-Timer und keine crontab-Zeile startet die geplante Sicherung.</translation>
    </message>
    <message>
      <source>does not exist.</source>
      <comment>1501</comment>
      <translation>existiert nicht.</translation>
    </message>
    <message>
      <source>cannot start the program with windows, stowline-gui:</source>
      <comment>1502</comment>
      <translation>das Programm mit Fenstern, stowline-gui, lässt sich nicht starten:</translation>
    </message>
    <message>
      <source>cannot start the program for scheduled backups, stowline-scheduled:</source>
      <comment>1503</comment>
      <translation>das Programm für geplante Sicherungen, stowline-scheduled, lässt sich nicht starten:</translation>
    </message>
    <message>
      <source>Cannot write the search index: </source>
      <comment>1760</comment>
      <translation>Der Suchindex kann nicht geschrieben werden: </translation>
    </message>
    <message>
      <source>The search has a quote that is not closed.</source>
      <comment>1761</comment>
      <translation>Die Suche hat ein Anführungszeichen, das nicht geschlossen ist.</translation>
    </message>
    <message>
      <source>Not a date (YYYY, YYYY-MM or YYYY-MM-DD): </source>
      <comment>1762</comment>
      <translation>Kein Datum (JJJJ, JJJJ-MM oder JJJJ-MM-TT): </translation>
    </message>
    <message>
      <source>Unknown or empty search term: </source>
      <comment>1763</comment>
      <translation>Unbekannter oder leerer Suchbegriff: </translation>
    </message>
    <message>
      <source>A search needs at least one word that must match.</source>
      <comment>1764</comment>
      <translation>Eine Suche braucht mindestens ein Wort, das vorkommen muss.</translation>
    </message>
    <message>
      <source>The search is empty.</source>
      <comment>1765</comment>
      <translation>Die Suche ist leer.</translation>
    </message>
    <message>
      <source>      --find-mail=QUERY   list the messages matching QUERY, newest first (--export-mail takes --query)</source>
      <comment>1766</comment>
      <translation>      --find-mail=QUERY   Nachrichten zu QUERY auflisten, neueste zuerst (--export-mail nimmt --query)</translation>
    </message>
    <message>
      <source>--query goes with --export-mail</source>
      <comment>1767</comment>
      <translation>--query gehört zu --export-mail</translation>
    </message>
    <message>
      <source>Indexing the mail of </source>
      <comment>1768</comment>
      <translation>Indiziere die E-Mail von </translation>
    </message>
    <message>
      <source> messages could be indexed only in part.</source>
      <comment>1769</comment>
      <translation> Nachrichten konnten nur teilweise indiziert werden.</translation>
    </message>
    <message>
      <source>&amp;Search all mail:</source>
      <comment>1770</comment>
      <translation>In aller E-Mail &amp;suchen:</translation>
    </message>
    <message>
      <source>Identity</source>
      <comment>1771</comment>
      <translation>Identität</translation>
    </message>
    <message>
      <source>Folder</source>
      <comment>1772</comment>
      <translation>Ordner</translation>
    </message>
    <message>
      <source>Save &amp;attachments...</source>
      <comment>1773</comment>
      <translation>&amp;Anhänge speichern...</translation>
    </message>
    <message>
      <source>Save as .e&amp;ml...</source>
      <comment>1774</comment>
      <translation>Als .e&amp;ml speichern...</translation>
    </message>
    <message>
      <source>C&amp;haracter set:</source>
      <comment>1775</comment>
      <translation>&amp;Zeichensatz:</translation>
    </message>
    <message>
      <source>As declared</source>
      <comment>1776</comment>
      <translation>Wie angegeben</translation>
    </message>
    <message>
      <source>Indexing: </source>
      <comment>1777</comment>
      <translation>Indiziere: </translation>
    </message>
    <message>
      <source> of </source>
      <comment>1778</comment>
      <translation> von </translation>
    </message>
    <message>
      <source> messages found in the whole archive</source>
      <comment>1779</comment>
      <translation> Nachrichten im ganzen Archiv gefunden</translation>
    </message>
    <message>
      <source>Choose the folder to save the attachments in:</source>
      <comment>1780</comment>
      <translation>Wählen Sie den Ordner für die Anhänge:</translation>
    </message>
    <message>
      <source>Save the message as</source>
      <comment>1781</comment>
      <translation>Nachricht speichern unter</translation>
    </message>
    <message>
      <source>Messages (*.eml)</source>
      <comment>1782</comment>
      <translation>Nachrichten (*.eml)</translation>
    </message>
    <message>
      <source>Saved: </source>
      <comment>1783</comment>
      <translation>Gespeichert: </translation>
    </message>
    <message>
      <source>Cannot write: </source>
      <comment>1784</comment>
      <translation>Kann nicht schreiben: </translation>
    </message>
    <message>
      <source>The message has no attachments.</source>
      <comment>1785</comment>
      <translation>Die Nachricht hat keine Anhänge.</translation>
    </message>
    <message>
      <source> messages indexed; searching what is indexed so far</source>
      <comment>1786</comment>
      <translation> Nachrichten indiziert; gesucht wird im bisher Indizierten</translation>
    </message>
    <message>
      <source>Another Stowline is indexing; waiting for the mail of </source>
      <comment>1787</comment>
      <translation>Ein anderes Stowline indiziert; warte auf die E-Mail von </translation>
    </message>
    <message>
      <source>      --upload-mail=URL   upload mail to the IMAP account imaps://USER@HOST[:PORT][/FOLDER]</source>
      <comment>1840</comment>
      <translation>      --upload-mail=URL   E-Mails in das IMAP-Konto imaps://BENUTZER@HOST[:PORT][/ORDNER] hochladen</translation>
    </message>
    <message>
      <source>--password-file and --ca-file go with --upload-mail</source>
      <comment>1841</comment>
      <translation>--password-file und --ca-file gehören zu --upload-mail</translation>
    </message>
    <message>
      <source>Not an account address: </source>
      <comment>1842</comment>
      <translation>Keine Kontoadresse: </translation>
    </message>
    <message>
      <source>Password for </source>
      <comment>1843</comment>
      <translation>Passwort für </translation>
    </message>
    <message>
      <source>No password: there is no terminal to ask on; give --password-file FILE.</source>
      <comment>1844</comment>
      <translation>Kein Passwort: Es gibt kein Terminal zum Fragen; geben Sie --password-file DATEI an.</translation>
    </message>
    <message>
      <source>The password file is refused: </source>
      <comment>1845</comment>
      <translation>Die Passwortdatei wird abgelehnt: </translation>
    </message>
    <message>
      <source>it does not exist</source>
      <comment>1846</comment>
      <translation>sie existiert nicht</translation>
    </message>
    <message>
      <source>it is not a regular file</source>
      <comment>1847</comment>
      <translation>sie ist keine normale Datei</translation>
    </message>
    <message>
      <source>it belongs to another user</source>
      <comment>1848</comment>
      <translation>sie gehört einem anderen Benutzer</translation>
    </message>
    <message>
      <source>group or others may read or write it (chmod 600)</source>
      <comment>1849</comment>
      <translation>Gruppe oder andere dürfen sie lesen oder schreiben (chmod 600)</translation>
    </message>
    <message>
      <source>it cannot be read</source>
      <comment>1850</comment>
      <translation>sie kann nicht gelesen werden</translation>
    </message>
    <message>
      <source>Cannot write the upload record: </source>
      <comment>1851</comment>
      <translation>Das Upload-Protokoll kann nicht geschrieben werden: </translation>
    </message>
    <message>
      <source>Cannot reach the server </source>
      <comment>1852</comment>
      <translation>Der Server ist nicht erreichbar </translation>
    </message>
    <message>
      <source>The server's certificate is not trusted: </source>
      <comment>1853</comment>
      <translation>Dem Zertifikat des Servers wird nicht vertraut: </translation>
    </message>
    <message>
      <source>The server failed: </source>
      <comment>1854</comment>
      <translation>Der Server hat versagt: </translation>
    </message>
    <message>
      <source>The server refused the login of </source>
      <comment>1855</comment>
      <translation>Der Server hat die Anmeldung abgelehnt von </translation>
    </message>
    <message>
      <source>Cannot create the folder </source>
      <comment>1856</comment>
      <translation>Der Ordner kann nicht angelegt werden </translation>
    </message>
    <message>
      <source>it holds a NUL byte, which IMAP cannot carry</source>
      <comment>1857</comment>
      <translation>sie enthält ein NUL-Byte, das IMAP nicht übertragen kann</translation>
    </message>
    <message>
      <source>larger than the server takes: </source>
      <comment>1858</comment>
      <translation>größer als der Server annimmt: </translation>
    </message>
    <message>
      <source>Not uploaded: </source>
      <comment>1859</comment>
      <translation>Nicht hochgeladen: </translation>
    </message>
    <message>
      <source> uploaded, </source>
      <comment>1860</comment>
      <translation> hochgeladen, </translation>
    </message>
    <message>
      <source> already there, </source>
      <comment>1861</comment>
      <translation> schon vorhanden, </translation>
    </message>
    <message>
      <source> refused, into </source>
      <comment>1862</comment>
      <translation> abgelehnt, nach </translation>
    </message>
    <message>
      <source>Upload cancelled; the next upload goes on from here.</source>
      <comment>1863</comment>
      <translation>Hochladen abgebrochen; das nächste Hochladen macht hier weiter.</translation>
    </message>
    <message>
      <source>Nothing could be uploaded.</source>
      <comment>1864</comment>
      <translation>Nichts konnte hochgeladen werden.</translation>
    </message>
    <message>
      <source>Upload mail to an account...</source>
      <comment>1865</comment>
      <translation>E-Mails in ein Konto hochladen...</translation>
    </message>
    <message>
      <source>Upload mail</source>
      <comment>1866</comment>
      <translation>E-Mails hochladen</translation>
    </message>
    <message>
      <source>&amp;Server:</source>
      <comment>1867</comment>
      <translation>&amp;Server:</translation>
    </message>
    <message>
      <source>User &amp;name:</source>
      <comment>1868</comment>
      <translation>Benutzer&amp;name:</translation>
    </message>
    <message>
      <source>&amp;Password:</source>
      <comment>1869</comment>
      <translation>&amp;Passwort:</translation>
    </message>
    <message>
      <source>Re&amp;member the password in the keyring</source>
      <comment>1870</comment>
      <translation>Passwort im Schlüsselbund &amp;merken</translation>
    </message>
    <message>
      <source>&amp;Target folder:</source>
      <comment>1871</comment>
      <translation>&amp;Zielordner:</translation>
    </message>
    <message>
      <source>Certificate &amp;authority file (optional):</source>
      <comment>1872</comment>
      <translation>Datei der Zertifizierungs&amp;stelle (optional):</translation>
    </message>
    <message>
      <source>&amp;Upload</source>
      <comment>1873</comment>
      <translation>&amp;Hochladen</translation>
    </message>
    <message>
      <source>Uploading</source>
      <comment>1874</comment>
      <translation>Lade hoch</translation>
    </message>
    <message>
      <source>Uploaded to </source>
      <comment>1875</comment>
      <translation>Hochgeladen nach </translation>
    </message>
    <message>
      <source>Uploaded: </source>
      <comment>1876</comment>
      <translation>Hochgeladen: </translation>
    </message>
    <message>
      <source> bytes</source>
      <comment>1877</comment>
      <translation> Bytes</translation>
    </message>
    <message>
      <source>Already on the server: </source>
      <comment>1878</comment>
      <translation>Schon auf dem Server: </translation>
    </message>
    <message>
      <source>Refused: </source>
      <comment>1879</comment>
      <translation>Abgelehnt: </translation>
    </message>
    <message>
      <source>The password could not be kept in the keyring: </source>
      <comment>1880</comment>
      <translation>Das Passwort konnte nicht im Schlüsselbund gespeichert werden: </translation>
    </message>
    <message>
      <source>Check the identities whose mail goes to the account.</source>
      <comment>1881</comment>
      <translation>Markieren Sie die Identitäten, deren E-Mails in das Konto gehen.</translation>
    </message>
    <message>
      <source> of </source>
      <comment>1882</comment>
      <translation> von </translation>
    </message>
    <message>
      <source> messages, </source>
      <comment>1883</comment>
      <translation> Nachrichten, </translation>
    </message>
    <message>
      <source> MB</source>
      <comment>1884</comment>
      <translation> MB</translation>
    </message>
    <message>
      <source>&amp;Upload mail...</source>
      <comment>1885</comment>
      <translation>E-Mails &amp;hochladen...</translation>
    </message>
    <message>
      <source>Please wait while Stowline uploads the mail</source>
      <comment>1886</comment>
      <translation>Bitte warten Sie, während Stowline die E-Mails hochlädt</translation>
    </message>
    <message>
      <source>Upload: Done!</source>
      <comment>1887</comment>
      <translation>Hochladen: Fertig!</translation>
    </message>
    <message>
      <source>      --password-file=FILE  with --upload-mail: the password from FILE, readable by its owner only</source>
      <comment>1888</comment>
      <translation>      --password-file=DATEI  mit --upload-mail: das Passwort aus DATEI, nur für ihren Besitzer lesbar</translation>
    </message>
    <message>
      <source>      --ca-file=FILE  with --upload-mail: trust the server's certificate when the CA in FILE signed it</source>
      <comment>1889</comment>
      <translation>      --ca-file=DATEI  mit --upload-mail: dem Zertifikat des Servers trauen, wenn die CA in DATEI es signiert hat</translation>
    </message>
    <message>
      <source>is damaged: authentication failed (it was changed after it was written).</source>
      <comment>1900</comment>
      <translation>ist beschädigt: die Authentifizierung ist fehlgeschlagen (es wurde nach dem Schreiben verändert).</translation>
    </message>
    <message>
      <source>cannot be opened: wrong passphrase.</source>
      <comment>1901</comment>
      <translation>lässt sich nicht öffnen: falsche Passphrase.</translation>
    </message>
    <message>
      <source>is encrypted, and no passphrase was given for it.</source>
      <comment>1902</comment>
      <translation>ist verschlüsselt, und es wurde keine Passphrase dafür angegeben.</translation>
    </message>
    <message>
      <source>Encrypted backup not written: no archive passphrase was found.</source>
      <comment>1903</comment>
      <translation>Verschlüsselte Sicherung nicht geschrieben: keine Archiv-Passphrase gefunden.</translation>
    </message>
    <message>
      <source>The desktop keyring did not answer within 10 seconds.</source>
      <comment>1904</comment>
      <translation>Der Schlüsselbund des Desktops hat nicht innerhalb von 10 Sekunden geantwortet.</translation>
    </message>
    <message>
      <source>The desktop keyring cannot be reached:</source>
      <comment>1905</comment>
      <translation>Der Schlüsselbund des Desktops ist nicht erreichbar:</translation>
    </message>
    <message>
      <source>The desktop keyring gave no archive passphrase: it holds none, or it is locked.</source>
      <comment>1906</comment>
      <translation>Der Schlüsselbund des Desktops gab keine Archiv-Passphrase: Er enthält keine, oder er ist gesperrt.</translation>
    </message>
    <message>
      <source>No key file is set.</source>
      <comment>1907</comment>
      <translation>Es ist keine Schlüsseldatei eingestellt.</translation>
    </message>
    <message>
      <source>The key file does not exist:</source>
      <comment>1908</comment>
      <translation>Die Schlüsseldatei existiert nicht:</translation>
    </message>
    <message>
      <source>The key file is refused, others may read or own it:</source>
      <comment>1909</comment>
      <translation>Die Schlüsseldatei wird abgelehnt, andere können sie lesen oder besitzen sie:</translation>
    </message>
    <message>
      <source>The key file cannot be read:</source>
      <comment>1910</comment>
      <translation>Die Schlüsseldatei lässt sich nicht lesen:</translation>
    </message>
    <message>
      <source>Passphrase of the encrypted archive</source>
      <comment>1911</comment>
      <translation>Passphrase des verschlüsselten Archivs</translation>
    </message>
    <message>
      <source>Type the passphrase for encrypted backups (at least five words of your own, or as many random characters):</source>
      <comment>1912</comment>
      <translation>Geben Sie die Passphrase für verschlüsselte Sicherungen ein (mindestens fünf eigene Wörter oder ebenso viele zufällige Zeichen):</translation>
    </message>
    <message>
      <source>This passphrase is too easy to guess: the encryption of the archive is only as strong as its passphrase. Use the one Stowline proposes, or a longer one.</source>
      <comment>1913</comment>
      <translation>Diese Passphrase ist zu leicht zu erraten: die Verschlüsselung des Archivs ist nur so stark wie seine Passphrase. Nehmen Sie die von Stowline vorgeschlagene oder eine längere.</translation>
    </message>
    <message>
      <source>The desktop keyring did not keep the passphrase. Scheduled backups need a key file instead: name it in Advanced options.</source>
      <comment>1914</comment>
      <translation>Der Schlüsselbund des Desktops hat die Passphrase nicht aufbewahrt. Geplante Sicherungen brauchen stattdessen eine Schlüsseldatei: geben Sie sie in den erweiterten Optionen an.</translation>
    </message>
    <message>
      <source>Stowline made this passphrase for your encrypted backups:</source>
      <comment>1915</comment>
      <translation>Stowline hat diese Passphrase für Ihre verschlüsselten Sicherungen erzeugt:</translation>
    </message>
    <message>
      <source>Print it or write it down now and keep it apart from your backups: it is shown only this once, and without it nobody can open these archives, not even Stowline. Stowline keeps it in the desktop keyring for the scheduled backups.\r\rYes: use this passphrase.  No: type one of your own.</source>
      <comment>1916</comment>
      <translation>Drucken Sie sie jetzt aus oder schreiben Sie sie auf, und bewahren Sie sie getrennt von Ihren Sicherungen auf: sie wird nur dieses eine Mal gezeigt, und ohne sie kann niemand diese Archive öffnen, auch Stowline nicht. Stowline bewahrt sie für die geplanten Sicherungen im Schlüsselbund des Desktops auf.\r\rJa: diese Passphrase verwenden.  Nein: eine eigene eingeben.</translation>
    </message>
    <message>
      <source>&amp;Encrypt the archive</source>
      <comment>1917</comment>
      <translation>Archiv &amp;verschlüsseln</translation>
    </message>
    <message>
      <source>&amp;Key file (for computers without a desktop keyring):</source>
      <comment>1918</comment>
      <translation>&amp;Schlüsseldatei (für Computer ohne Schlüsselbund des Desktops):</translation>
    </message>
    <message>
      <source>Choose &amp;key file...</source>
      <comment>1919</comment>
      <translation>&amp;Schlüsseldatei wählen...</translation>
    </message>
    <message>
      <source>New &amp;passphrase...</source>
      <comment>1920</comment>
      <translation>Neue &amp;Passphrase...</translation>
    </message>
    <message>
      <source>Choose the key file that holds the passphrase</source>
      <comment>1921</comment>
      <translation>Wählen Sie die Schlüsseldatei, die die Passphrase enthält</translation>
    </message>
    <message>
      <source>Encrypted: AES-256; it opens only with its passphrase.</source>
      <comment>1922</comment>
      <translation>Verschlüsselt: AES-256; es öffnet sich nur mit seiner Passphrase.</translation>
    </message>
    <message>
      <source>Encryption</source>
      <comment>1923</comment>
      <translation>Verschlüsselung</translation>
    </message>
    <message>
      <source>Stowline error</source>
      <comment>300</comment>
      <translation>Stowline-Fehler</translation>
    </message>
    <message>
      <source>The drive does not exist:</source>
      <comment>301</comment>
      <translation>Das Laufwerk existiert nicht:</translation>
    </message>
    <message>
      <source>The drive is not ready:</source>
      <comment>302</comment>
      <translation>Das Laufwerk ist nicht bereit:</translation>
    </message>
    <message>
      <source>Stowline could not write to the drive:</source>
      <comment>303</comment>
      <translation>Stowline konnte nicht auf das Laufwerk schreiben:</translation>
    </message>
    <message>
      <source>Would you like to try again?</source>
      <comment>304</comment>
      <translation>Möchten Sie es erneut versuchen?</translation>
    </message>
    <message>
      <source>/</source>
      <comment>305</comment>
      <translation>/</translation>
    </message>
    <message>
      <source>Stowline cannot use this temporary folder, because it is not a private folder of yours and others could read or change your mail there:</source>
      <comment>306</comment>
      <translation>Stowline kann diesen temporären Ordner nicht verwenden, weil er nicht Ihr privater Ordner ist und andere Ihre E-Mails dort lesen oder ändern könnten:</translation>
    </message>
    <message>
      <source>Nothing was written. Remove what is there, or choose another temp folder in the Advanced options.</source>
      <comment>307</comment>
      <translation>Es wurde nichts geschrieben. Entfernen Sie, was dort liegt, oder wählen Sie in den erweiterten Einstellungen einen anderen temporären Ordner.</translation>
    </message>
    <message>
      <source>Invalid file format</source>
      <comment>400</comment>
      <translation>Ungültiges Dateiformat</translation>
    </message>
    <message>
      <source>Archive member refused, its name points outside the target folder: </source>
      <comment>401</comment>
      <translation>Archiveintrag abgelehnt, sein Name zeigt aus dem Zielordner heraus: </translation>
    </message>
    <message>
      <source>Archive member damaged: </source>
      <comment>402</comment>
      <translation>Archiveintrag beschädigt: </translation>
    </message>
    <message>
      <source>Archive member refused, it is a symbolic link: </source>
      <comment>403</comment>
      <translation>Archiveintrag abgelehnt, er ist eine symbolische Verknüpfung: </translation>
    </message>
    <message>
      <source>Archive member refused, a symbolic link in the target folder lies on its way: </source>
      <comment>404</comment>
      <translation>Archiveintrag abgelehnt, eine symbolische Verknüpfung im Zielordner liegt auf seinem Weg: </translation>
    </message>
    <message>
      <source>Compressing: Identity</source>
      <comment>500</comment>
      <translation>Komprimiere: Identität</translation>
    </message>
    <message>
      <source>Compressing: Windows Address Book</source>
      <comment>501</comment>
      <translation>Komprimiere: Windows-Adressbuch</translation>
    </message>
    <message>
      <source>Compressing: Internet Explorer Favorites</source>
      <comment>502</comment>
      <translation>Komprimiere: Internet Explorer-Favoriten</translation>
    </message>
    <message>
      <source>Stowline needs more free diskspace to save the backup on drive:</source>
      <comment>510</comment>
      <translation>Stowline braucht mehr freien Speicherplatz, um die Sicherung zu speichern, auf Laufwerk:</translation>
    </message>
    <message>
      <source>Stowline needs more free diskspace to create the backup on drive: </source>
      <comment>511</comment>
      <translation>Stowline braucht mehr freien Speicherplatz, um die Sicherung zu erstellen, auf Laufwerk: </translation>
    </message>
    <message>
      <source>There is not enough free space to save the backup on drive:</source>
      <comment>512</comment>
      <translation>Es ist nicht genug freier Speicherplatz für die Sicherung auf Laufwerk:</translation>
    </message>
    <message>
      <source>The backup has been saved as: </source>
      <comment>513</comment>
      <translation>Die Sicherung wurde gespeichert als: </translation>
    </message>
    <message>
      <source>Stowline could not save the backup to the drive you selected.</source>
      <comment>514</comment>
      <translation>Stowline konnte die Sicherung nicht auf dem gewählten Laufwerk speichern.</translation>
    </message>
    <message>
      <source>Your backup has been saved as: </source>
      <comment>515</comment>
      <translation>Ihre Sicherung wurde gespeichert als: </translation>
    </message>
    <message>
      <source>Stowline error</source>
      <comment>516</comment>
      <translation>Stowline-Fehler</translation>
    </message>
    <message>
      <source>Saving backup:</source>
      <comment>520</comment>
      <translation>Speichere Sicherung:</translation>
    </message>
    <message>
      <source>Creating backup:</source>
      <comment>521</comment>
      <translation>Erstelle Sicherung:</translation>
    </message>
    <message>
      <source>Could not save backup!</source>
      <comment>522</comment>
      <translation>Sicherung konnte nicht gespeichert werden!</translation>
    </message>
    <message>
      <source>Could not create backup!</source>
      <comment>523</comment>
      <translation>Sicherung konnte nicht erstellt werden!</translation>
    </message>
    <message>
      <source>Saving backup: Done!</source>
      <comment>524</comment>
      <translation>Speichere Sicherung: Fertig!</translation>
    </message>
    <message>
      <source>Backup saved as:</source>
      <comment>525</comment>
      <translation>Sicherung gespeichert als:</translation>
    </message>
    <message>
      <source>Saving backup to unknown media: Please wait...</source>
      <comment>530</comment>
      <translation>Speichere Sicherung auf unbekanntem Medium: Bitte warten...</translation>
    </message>
    <message>
      <source>Saving backup to removable drive: Please wait...</source>
      <comment>531</comment>
      <translation>Speichere Sicherung auf Wechsellaufwerk: Bitte warten...</translation>
    </message>
    <message>
      <source>Saving backup to fixed drive: Please wait...</source>
      <comment>532</comment>
      <translation>Speichere Sicherung auf Festplatte: Bitte warten...</translation>
    </message>
    <message>
      <source>Saving backup to remote drive: Please wait...</source>
      <comment>533</comment>
      <translation>Speichere Sicherung auf Netzlaufwerk: Bitte warten...</translation>
    </message>
    <message>
      <source>Saving backup to CD drive: Please wait...</source>
      <comment>534</comment>
      <translation>Speichere Sicherung auf CD-Laufwerk: Bitte warten...</translation>
    </message>
    <message>
      <source>Saving backup to ramdisk: Please wait...</source>
      <comment>535</comment>
      <translation>Speichere Sicherung auf RAM-Disk: Bitte warten...</translation>
    </message>
    <message>
      <source>Saving backup to unknown media: Done!</source>
      <comment>540</comment>
      <translation>Speichere Sicherung auf unbekanntem Medium: Fertig!</translation>
    </message>
    <message>
      <source>Saving backup to removable drive: Done!</source>
      <comment>541</comment>
      <translation>Speichere Sicherung auf Wechsellaufwerk: Fertig!</translation>
    </message>
    <message>
      <source>Saving backup to fixed drive: Done!</source>
      <comment>542</comment>
      <translation>Speichere Sicherung auf Festplatte: Fertig!</translation>
    </message>
    <message>
      <source>Saving backup to remote drive: Done!</source>
      <comment>543</comment>
      <translation>Speichere Sicherung auf Netzlaufwerk: Fertig!</translation>
    </message>
    <message>
      <source>Saving backup to CD drive: Done!</source>
      <comment>544</comment>
      <translation>Speichere Sicherung auf CD-Laufwerk: Fertig!</translation>
    </message>
    <message>
      <source>Saving backup to ramdisk: Done!</source>
      <comment>545</comment>
      <translation>Speichere Sicherung auf RAM-Disk: Fertig!</translation>
    </message>
    <message>
      <source>Backup Wizard</source>
      <comment>600</comment>
      <translation>Sicherungs-Assistent</translation>
    </message>
    <message>
      <source>Check items to backup</source>
      <comment>601</comment>
      <translation>Zu sichernde Elemente auswählen</translation>
    </message>
    <message>
      <source>Outlook Express &amp;Identities</source>
      <comment>602</comment>
      <translation>Outlook Express-&amp;Identitäten</translation>
    </message>
    <message>
      <source>Internet Explorer &amp;Favorites</source>
      <comment>603</comment>
      <translation>Internet Explorer-&amp;Favoriten</translation>
    </message>
    <message>
      <source>Windows &amp;Address Book</source>
      <comment>604</comment>
      <translation>Windows-&amp;Adressbuch</translation>
    </message>
    <message>
      <source>&lt;&lt; &amp;Back</source>
      <comment>605</comment>
      <translation>&lt;&lt; &amp;Zurück</translation>
    </message>
    <message>
      <source>&amp;Next &gt;&gt;</source>
      <comment>606</comment>
      <translation>&amp;Weiter &gt;&gt;</translation>
    </message>
    <message>
      <source>Ba&amp;ckup</source>
      <comment>607</comment>
      <translation>&amp;Sichern</translation>
    </message>
    <message>
      <source>No items found to backup.</source>
      <comment>608</comment>
      <translation>Keine Elemente zum Sichern gefunden.</translation>
    </message>
    <message>
      <source>Outlook Express Identities</source>
      <comment>610</comment>
      <translation>Outlook Express-Identitäten</translation>
    </message>
    <message>
      <source>Stowline found identities on your system. Check the identities you want to backup:</source>
      <comment>611</comment>
      <translation>Stowline hat Identitäten auf Ihrem System gefunden. Wählen Sie die Identitäten aus, die Sie sichern möchten:</translation>
    </message>
    <message>
      <source>No data storage location for identities found.</source>
      <comment>612</comment>
      <translation>Kein Speicherort für Identitäten gefunden.</translation>
    </message>
    <message>
      <source>Restore Wizard</source>
      <comment>700</comment>
      <translation>Wiederherstellungs-Assistent</translation>
    </message>
    <message>
      <source>Check items to restore</source>
      <comment>701</comment>
      <translation>Wiederherzustellende Elemente auswählen</translation>
    </message>
    <message>
      <source>Outlook Express &amp;Identities</source>
      <comment>702</comment>
      <translation>Outlook Express-&amp;Identitäten</translation>
    </message>
    <message>
      <source>Internet Explorer &amp;Favorites</source>
      <comment>703</comment>
      <translation>Internet Explorer-&amp;Favoriten</translation>
    </message>
    <message>
      <source>Windows &amp;Address Book</source>
      <comment>704</comment>
      <translation>Windows-&amp;Adressbuch</translation>
    </message>
    <message>
      <source>&lt;&lt; &amp;Back</source>
      <comment>705</comment>
      <translation>&lt;&lt; &amp;Zurück</translation>
    </message>
    <message>
      <source>&amp;Next &gt;&gt;</source>
      <comment>706</comment>
      <translation>&amp;Weiter &gt;&gt;</translation>
    </message>
    <message>
      <source>&amp;Restore</source>
      <comment>707</comment>
      <translation>&amp;Wiederherstellen</translation>
    </message>
    <message>
      <source>No items found to extract.</source>
      <comment>708</comment>
      <translation>Keine Elemente zum Entpacken gefunden.</translation>
    </message>
    <message>
      <source>Error in archive</source>
      <comment>709</comment>
      <translation>Fehler im Archiv</translation>
    </message>
    <message>
      <source>Outlook Express Identities</source>
      <comment>710</comment>
      <translation>Outlook Express-Identitäten</translation>
    </message>
    <message>
      <source>Stowline found identities in your backup. Check the identities you want to restore:</source>
      <comment>711</comment>
      <translation>Stowline hat Identitäten in Ihrer Sicherung gefunden. Wählen Sie die Identitäten aus, die Sie wiederherstellen möchten:</translation>
    </message>
    <message>
      <source>Internet Explorer Favorites</source>
      <comment>712</comment>
      <translation>Internet Explorer-Favoriten</translation>
    </message>
    <message>
      <source>Replace the existing Favorites with the Favorites in the backup.</source>
      <comment>713</comment>
      <translation>Die vorhandenen Favoriten durch die Favoriten aus der Sicherung ersetzen.</translation>
    </message>
    <message>
      <source>Add the Favorites in the backup to the existing Favorites.</source>
      <comment>714</comment>
      <translation>Die Favoriten aus der Sicherung zu den vorhandenen Favoriten hinzufügen.</translation>
    </message>
    <message>
      <source>Please wait while Stowline restores the backup</source>
      <comment>715</comment>
      <translation>Bitte warten Sie, während Stowline die Sicherung wiederherstellt</translation>
    </message>
    <message>
      <source>Opening backup:</source>
      <comment>720</comment>
      <translation>Öffne Sicherung:</translation>
    </message>
    <message>
      <source>Restoring: Done!</source>
      <comment>721</comment>
      <translation>Wiederherstellen: Fertig!</translation>
    </message>
    <message>
      <source>Restoring: Identity</source>
      <comment>730</comment>
      <translation>Wiederherstellen: Identität</translation>
    </message>
    <message>
      <source>Duplicate identity name</source>
      <comment>731</comment>
      <translation>Doppelter Identitätsname</translation>
    </message>
    <message>
      <source>The following Outlook Express identity name is already in use on your system:</source>
      <comment>732</comment>
      <translation>Der folgende Outlook Express-Identitätsname wird auf Ihrem System bereits verwendet:</translation>
    </message>
    <message>
      <source>Please enter a different name for the identity:</source>
      <comment>733</comment>
      <translation>Bitte geben Sie einen anderen Namen für die Identität ein:</translation>
    </message>
    <message>
      <source>Outlook Express data storage location error</source>
      <comment>734</comment>
      <translation>Fehler beim Speicherort von Outlook Express</translation>
    </message>
    <message>
      <source>Stowline cannot restore the Outlook Express identity:</source>
      <comment>735</comment>
      <translation>Stowline kann die Outlook Express-Identität nicht wiederherstellen:</translation>
    </message>
    <message>
      <source>The location is not available:</source>
      <comment>736</comment>
      <translation>Der Speicherort ist nicht verfügbar:</translation>
    </message>
    <message>
      <source>In the next dialog you can select the location where you want your data restored.</source>
      <comment>737</comment>
      <translation>Im nächsten Dialog können Sie den Ort auswählen, an dem Ihre Daten wiederhergestellt werden sollen.</translation>
    </message>
    <message>
      <source>You must select a location!</source>
      <comment>738</comment>
      <translation>Sie müssen einen Ort auswählen!</translation>
    </message>
    <message>
      <source>Restoring: Internet Explorer Favorites</source>
      <comment>740</comment>
      <translation>Wiederherstellen: Internet Explorer-Favoriten</translation>
    </message>
    <message>
      <source>Favorites restore problem</source>
      <comment>741</comment>
      <translation>Problem beim Wiederherstellen der Favoriten</translation>
    </message>
    <message>
      <source>Stowline could not replace your current favorites, would you like to add them instead?</source>
      <comment>742</comment>
      <translation>Stowline konnte Ihre aktuellen Favoriten nicht ersetzen, möchten Sie sie stattdessen hinzufügen?</translation>
    </message>
    <message>
      <source>Restoring: Windows Address Book</source>
      <comment>750</comment>
      <translation>Wiederherstellen: Windows-Adressbuch</translation>
    </message>
    <message>
      <source>Windows Address Book restore location error</source>
      <comment>751</comment>
      <translation>Fehler beim Speicherort des Windows-Adressbuchs</translation>
    </message>
    <message>
      <source>Stowline cannot restore the Windows Address Book to the location:</source>
      <comment>752</comment>
      <translation>Stowline kann das Windows-Adressbuch nicht an diesem Ort wiederherstellen:</translation>
    </message>
    <message>
      <source>Restore refused</source>
      <comment>800</comment>
      <translation>Wiederherstellung abgelehnt</translation>
    </message>
    <message>
      <source>Stowline did not restore the Outlook Express identity:</source>
      <comment>801</comment>
      <translation>Stowline hat die Outlook Express-Identität nicht wiederhergestellt:</translation>
    </message>
    <message>
      <source>Stowline did not restore the Internet Explorer Favorites.</source>
      <comment>802</comment>
      <translation>Stowline hat die Internet Explorer-Favoriten nicht wiederhergestellt.</translation>
    </message>
    <message>
      <source>Stowline did not restore the Windows Address Book.</source>
      <comment>803</comment>
      <translation>Stowline hat das Windows-Adressbuch nicht wiederhergestellt.</translation>
    </message>
    <message>
      <source>Stowline did not restore the backup:</source>
      <comment>804</comment>
      <translation>Stowline hat die Sicherung nicht wiederhergestellt:</translation>
    </message>
    <message>
      <source>Its registry file in the backup changes a key that does not belong to it:</source>
      <comment>810</comment>
      <translation>Ihre Registry-Datei in der Sicherung ändert einen Schlüssel, der nicht zu ihr gehört:</translation>
    </message>
    <message>
      <source>Its identity ID in the backup is not a valid identity ID:</source>
      <comment>811</comment>
      <translation>Ihre Identitäts-ID in der Sicherung ist keine gültige Identitäts-ID:</translation>
    </message>
    <message>
      <source>The backup holds a file that would be written outside the restore folder:</source>
      <comment>812</comment>
      <translation>Die Sicherung enthält eine Datei, die außerhalb des Wiederherstellungsordners geschrieben würde:</translation>
    </message>
    <message>
      <source>A file of it is missing or damaged in the backup:</source>
      <comment>813</comment>
      <translation>Eine ihrer Dateien fehlt in der Sicherung oder ist beschädigt:</translation>
    </message>
    <message>
      <source>Its registry file in the backup cannot be read:</source>
      <comment>814</comment>
      <translation>Ihre Registry-Datei in der Sicherung kann nicht gelesen werden:</translation>
    </message>
    <message>
      <source>The backup holds a symbolic link, which is never unpacked:</source>
      <comment>815</comment>
      <translation>Die Sicherung enthält eine symbolische Verknüpfung, die nie entpackt wird:</translation>
    </message>
    <message>
      <source>The backup holds a file whose name has control characters:</source>
      <comment>816</comment>
      <translation>Die Sicherung enthält eine Datei, deren Name Steuerzeichen enthält:</translation>
    </message>
    <message>
      <source>Nothing of this item was changed.</source>
      <comment>820</comment>
      <translation>An diesem Element wurde nichts geändert.</translation>
    </message>
    <message>
      <source>Nothing was restored.</source>
      <comment>821</comment>
      <translation>Es wurde nichts wiederhergestellt.</translation>
    </message>
    <message>
      <source>Schedule Backup Wizard</source>
      <comment>900</comment>
      <translation>Assistent für geplante Sicherungen</translation>
    </message>
    <message>
      <source>Create a new backup</source>
      <comment>901</comment>
      <translation>Neue Sicherung erstellen</translation>
    </message>
    <message>
      <source>Everytime I run the scheduler</source>
      <comment>902</comment>
      <translation>Bei jedem Start des Planers</translation>
    </message>
    <message>
      <source>Every day</source>
      <comment>903</comment>
      <translation>Jeden Tag</translation>
    </message>
    <message>
      <source>Every three days</source>
      <comment>904</comment>
      <translation>Alle drei Tage</translation>
    </message>
    <message>
      <source>Every week</source>
      <comment>905</comment>
      <translation>Jede Woche</translation>
    </message>
    <message>
      <source>Every month</source>
      <comment>906</comment>
      <translation>Jeden Monat</translation>
    </message>
    <message>
      <source>Delete existing backups</source>
      <comment>910</comment>
      <translation>Vorhandene Sicherungen löschen</translation>
    </message>
    <message>
      <source>Do not delete old backups</source>
      <comment>911</comment>
      <translation>Alte Sicherungen nicht löschen</translation>
    </message>
    <message>
      <source>One day or older</source>
      <comment>912</comment>
      <translation>Einen Tag oder älter</translation>
    </message>
    <message>
      <source>Three days or older</source>
      <comment>913</comment>
      <translation>Drei Tage oder älter</translation>
    </message>
    <message>
      <source>One week or older</source>
      <comment>914</comment>
      <translation>Eine Woche oder älter</translation>
    </message>
    <message>
      <source>One month or older</source>
      <comment>915</comment>
      <translation>Einen Monat oder älter</translation>
    </message>
    <message>
      <source>Check items to backup</source>
      <comment>920</comment>
      <translation>Zu sichernde Elemente auswählen</translation>
    </message>
    <message>
      <source>Outlook Express &amp;Identities</source>
      <comment>921</comment>
      <translation>Outlook Express-&amp;Identitäten</translation>
    </message>
    <message>
      <source>Internet Explorer &amp;Favorites</source>
      <comment>922</comment>
      <translation>Internet Explorer-&amp;Favoriten</translation>
    </message>
    <message>
      <source>Windows &amp;Address Book</source>
      <comment>923</comment>
      <translation>Windows-&amp;Adressbuch</translation>
    </message>
    <message>
      <source>&lt;&lt; &amp;Back</source>
      <comment>930</comment>
      <translation>&lt;&lt; &amp;Zurück</translation>
    </message>
    <message>
      <source>&amp;Next &gt;&gt;</source>
      <comment>931</comment>
      <translation>&amp;Weiter &gt;&gt;</translation>
    </message>
    <message>
      <source>Save backup archive as:</source>
      <comment>932</comment>
      <translation>Sicherungsarchiv speichern unter:</translation>
    </message>
    <message>
      <source>Stowline archive|*.stw</source>
      <comment>933</comment>
      <translation>Stowline-Archiv|*.stw</translation>
    </message>
    <message>
      <source>Please run the Stowline 'Schedule Wizard' again.</source>
      <comment>950</comment>
      <translation>Bitte führen Sie den Stowline-'Planungs-Assistenten' erneut aus.</translation>
    </message>
    <message>
      <source>Stowline Scheduler error</source>
      <comment>951</comment>
      <translation>Fehler im Stowline-Planer</translation>
    </message>
    <message>
      <source>Scheduled Backup</source>
      <comment>952</comment>
      <translation>Geplante Sicherung</translation>
    </message>
    <message>
      <source>No items found to backup.</source>
      <comment>953</comment>
      <translation>Keine Elemente zum Sichern gefunden.</translation>
    </message>
    <message>
      <source>Archive not found:</source>
      <comment>954</comment>
      <translation>Archiv nicht gefunden:</translation>
    </message>
    <message>
      <source>The file you selected does not seem to be a valid Stowline archive.</source>
      <comment>955</comment>
      <translation>Die ausgewählte Datei scheint kein gültiges Stowline-Archiv zu sein.</translation>
    </message>
    <message>
      <source>Stowline: the scheduled backup ended without writing </source>
      <comment>960</comment>
      <translation>Stowline: Die geplante Sicherung endete ohne Schreiben von </translation>
    </message>
    <message>
      <source>Stowline: the scheduled backup failed: </source>
      <comment>961</comment>
      <translation>Stowline: Die geplante Sicherung ist fehlgeschlagen: </translation>
    </message>
    <message>
      <source> in </source>
      <comment>962</comment>
      <translation> in </translation>
    </message>
    <message>
      <source> at line </source>
      <comment>963</comment>
      <translation> in Zeile </translation>
    </message>
    <message>
      <source>Advanced configuration options</source>
      <comment>1000</comment>
      <translation>Erweiterte Einstellungen</translation>
    </message>
    <message>
      <source>&amp;Compression level:</source>
      <comment>1001</comment>
      <translation>&amp;Komprimierungsstufe:</translation>
    </message>
    <message>
      <source>No compression</source>
      <comment>1002</comment>
      <translation>Keine Komprimierung</translation>
    </message>
    <message>
      <source>Fastest compression (default)</source>
      <comment>1003</comment>
      <translation>Schnellste Komprimierung (Standard)</translation>
    </message>
    <message>
      <source>Fast compression</source>
      <comment>1004</comment>
      <translation>Schnelle Komprimierung</translation>
    </message>
    <message>
      <source>Normal compression</source>
      <comment>1005</comment>
      <translation>Normale Komprimierung</translation>
    </message>
    <message>
      <source>Best compression</source>
      <comment>1006</comment>
      <translation>Beste Komprimierung</translation>
    </message>
    <message>
      <source>Other options:</source>
      <comment>1010</comment>
      <translation>Weitere Optionen:</translation>
    </message>
    <message>
      <source>&amp;Launch default mailer after the scheduler has finished</source>
      <comment>1011</comment>
      <translation>Standard-E-Mail-Programm &amp;starten, wenn der Planer fertig ist</translation>
    </message>
    <message>
      <source>&amp;Remember locations in the file open/save dialogs</source>
      <comment>1012</comment>
      <translation>Orte in den Dialogen zum Öffnen und Speichern &amp;merken</translation>
    </message>
    <message>
      <source>&amp;Disable the Stowline Scheduler</source>
      <comment>1013</comment>
      <translation>Stowline-Planer &amp;deaktivieren</translation>
    </message>
    <message>
      <source>&amp;Use a custom temp folder</source>
      <comment>1014</comment>
      <translation>Eigenen temporären &amp;Ordner verwenden</translation>
    </message>
    <message>
      <source>OK</source>
      <comment>1015</comment>
      <translation>OK</translation>
    </message>
  </context>
</TS>

#pragma once

#include "foundation/modAppRunning.h"

#include <QString>
#include <optional>

namespace stowline {

struct RunContext;
class Questions;

// The export of key (full name) to file with our regedit, started so that it runs beside other work.
class KeyExport {
public:
    KeyExport(const QString& file, const QString& key);
    // Waits for the export; returns what went wrong, empty when nothing did.
    QString wait() { return m_command.finish(); }
    // Waits for the export; when it failed, tells the user which key and what happened, and
    // returns false.
    bool finish(Questions& ask);

private:
    QString m_key;
    StartedCommand m_command;
};

// Creates the workspace's wab folder and starts the export of HKCU\Software\Microsoft\WAB\WAB4 to
// wab/wab_key.reg in it; nothing when the folder could not be made (the user was told).
std::optional<KeyExport> WAB_StartExport();
// Waits for that export and has the folder that holds the address book file zipped as
// wab/wab_data.zip. False when the key could not be exported (the user was told).
bool WAB_Compress(RunContext& run, std::optional<KeyExport>& started);

// Creates an item's folder in the workspace ("wab", "ief"); one already there is a failure.
void CreateItemFolder(const QString& folder);

} // namespace stowline

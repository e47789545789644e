#pragma once

#include "archive/ZipRun.h"

#include <QString>
#include <optional>

namespace stowline {

struct ZipExtractSettings {
    QString archiveFile;
    QString extractFolder;                    // with or without a final '/'; '\' counts as '/' too
    QString fileSpec = QStringLiteral("*.*"); // "*.*" (or "*") for every member, else one member name
    int threads = 0;                          // 0: one per processor, at most four
    const CancelToken* cancel = nullptr;      // the workers leave the member they unpack unfinished
    QString innerMember; // when set, the zip stored under this name in archiveFile, read in place
};

// A member name as a path below the target folder: '\' and '/' both separate, empty and "."
// parts drop out. Nothing (nullopt) for a name that would leave the folder: absolute, with a ".."
// part or a drive prefix such as "C:"; nor for one with control characters. An empty result names
// the folder itself.
std::optional<QString> SafeMemberPath(const QString& memberName);

// Unpacks members of an archive below a folder, creating folders as needed and replacing files of
// the same name. Each file is written under a temporary name beside its final one and renamed into
// place when complete, so a file is never left half written. Worker threads each unpack whole
// members; the calling thread raises the events in member order. When any chosen member's name
// would leave the folder, is a symbolic link or would be unpacked through a symbolic link already in
// the folder, nothing is written and VbError 75 names that member. A member name given
// as the file pattern matches regardless of case and separator; a pattern that matches nothing unpacks
// nothing. Throws VbError.
class ZipExtractor {
public:
    ZipExtractor(ZipExtractSettings settings, ZipRunEvents& events);
    ZipRunOutcome run();

private:
    ZipExtractSettings m_settings;
    ZipRunEvents& m_events;
};

} // namespace stowline

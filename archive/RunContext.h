#pragma once

#include "archive/ZipRun.h"
#include "foundation/Questions.h"

#include <QStringList>

namespace stowline {

class ProgressView;
class cmpZIP;

// What a backup or restore run is handed: where it shows its progress, the zip component it packs
// and unpacks with (its host passes the events on to that progress), and where it asks the user
// (a name clash, a new location), answered on the window thread while the run waits; and its
// cancel, which the zip component honours.
struct RunContext {
    ProgressView& progress;
    cmpZIP& zip;
    Questions& ask;
    CancelToken& cancel;
    QStringList notes;   // what a restore put where, for the summary
    QString notesFolder; // the first folder a restore wrote into: the summary's Open folder shows it
};

} // namespace stowline

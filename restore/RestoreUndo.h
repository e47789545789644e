#pragma once

#include <QString>
#include <QStringList>

namespace stowline {

// What a restore changes, kept before it is changed so that it can be put back: each registry key
// the restore deletes or replaces (exported), each file or folder it replaces (moved aside) and each
// one it adds (listed). The journal names the registry and drives it belongs to, and once the
// restore has ended, what the restore left at every path and key: an undo puts back only what is
// still as the restore left it. Kept in the user's private state folder until the next restore
// starts; that one has it removed in the background, unless it was never finished.
class RestoreJournal {
public:
    // Starts over, dropping what an earlier restore kept; false when the folder cannot be made or
    // holds a journal that was never finished (see UnfinishedJournal).
    bool begin();
    // The key below HKEY_CURRENT_USER, whole, as it is now (or that it is missing). Each key
    // unitDepth levels below it (an identity, an account) is put back or kept as a whole; the keys
    // above it, value by value.
    void keepKey(const QString& key, int unitDepth = 0);
    // Before folder receives the zip members names: what is at their paths is moved aside, what is
    // not is listed as added, and so is folder itself when it is missing.
    void keepFiles(const QString& folder, const QStringList& names);
    // One file, link or folder that is about to be removed: moved aside.
    void moveAside(const QString& path);
    // A folder that was emptied and is about to be removed: made again on the way back.
    void keepEmptiedFolder(const QString& path);
    // Puts everything kept back, newest first, and drops the journal; nothing after finish().
    void rollBack();
    // The restore succeeded: what it left is noted, and the journal stays for an undo.
    void finish();
    bool active() const { return m_active; }
    // Something was about to change: a rollback then has something to put back.
    bool recordedAnything() const { return m_active && m_recorded; }

private:
    void record(const QString& kind, const QString& path, const QString& kept = QString(),
                const QString& extra = QString());
    void append(const QByteArray& line);
    QString nextAsideName();
    void closeJournal();

    bool m_active = false;
    int m_count = 0;
    bool m_recorded = false;
    int m_journalFd = -1; // open while the restore runs: one write per change, not an open
};

// The journal of the restore running in this process.
RestoreJournal& restoreJournal();

// Where the last restore's journal is kept: $XDG_STATE_HOME/stowline/last-restore (mode 0700).
QString UndoFolder();
// Bytes the last restore's journal takes; -1 when there is none.
qint64 UndoDataSize();
// The journal of a restore or an undo that was cut short (killed, a power cut): a sentence naming
// it; empty when there is none. Nothing may restore over it until it is finished.
QString UnfinishedJournal();

struct UndoOutcome {
    QString failure; // what went wrong; empty when everything was put back or kept
    // Paths and keys changed since the restore, kept as they are now; each with where the copy
    // from before the restore went, when there was one.
    QStringList kept;
    // The text for the person: what was done, every kept path named.
    QString summary() const;
};
// Puts back what the last restore changed and is still as that restore left it, then drops its
// journal. Step by step, each step recorded as done before the next: a run cut short goes on where
// it stopped. Refused on a registry or drive mapping other than the restore's.
UndoOutcome UndoLastRestore();

} // namespace stowline

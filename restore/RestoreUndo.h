#pragma once

#include <QString>
#include <QStringList>

namespace stowline {

// What a restore changes, kept before it is changed so that it can be put back: each registry key
// the restore deletes or replaces (exported), each file or folder it replaces (moved aside) and each
// one it adds (listed). Kept in the user's private state folder until the next restore starts; that
// one has it removed in the background.
class RestoreJournal {
public:
    // Starts over, dropping what an earlier restore kept; false when the folder cannot be made.
    bool begin();
    // The key below HKEY_CURRENT_USER, whole, as it is now (or that it is missing).
    void keepKey(const QString& key);
    // Before folder receives the zip members names: what is at their paths is moved aside, what is
    // not is listed as added, and so is folder itself when it is missing.
    void keepFiles(const QString& folder, const QStringList& names);
    // One file, link or folder that is about to be removed: moved aside.
    void moveAside(const QString& path);
    // A folder that was emptied and is about to be removed: made again on the way back.
    void keepEmptiedFolder(const QString& path);
    // Puts everything kept back, newest first, and drops the journal; nothing after finish().
    void rollBack();
    // The restore succeeded: the journal stays for an undo.
    void finish();
    bool active() const { return m_active; }
    // Something was about to change: a rollback then has something to put back.
    bool recordedAnything() const { return m_active && m_recorded; }

private:
    void record(const QString& kind, const QString& path, const QString& kept = QString());
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
// Puts back what the last restore changed, then drops its journal. Empty on success, else what
// went wrong.
QString UndoLastRestore();

} // namespace stowline

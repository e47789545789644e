#pragma once

#include <QString>
#include <exception>

namespace stowline {

// The classic error numbers the program raises; describe() gives each its one classic description.
enum class Err {
    InvalidCall = 5,
    Overflow = 6,
    SubscriptOutOfRange = 9,
    TypeMismatch = 13,
    InternalError = 51,
    FileNotFound = 53,
    DeviceIO = 57,
    FileExists = 58,
    DiskFull = 61,
    PermissionDenied = 70,
    PathFileAccess = 75,
    PathNotFound = 76,
    ObjectNotSet = 91,
    InvalidFormat = 321,
    TempFolderFull = 407,
};
QString describe(Err error);

// A trapped failure: the classic error number and description.
class VbError : public std::exception {
public:
    // Reported: the failure was already shown to the user (the zip component's full-temp-folder
    // event); a trap then only ends its procedure and keeps the record that is on screen.
    enum Reporting { NotReported, Reported };
    VbError(Err error, QString description, Reporting reporting = NotReported);
    explicit VbError(Err error) : VbError(error, describe(error)) {}
    // A failure recorded before, raised again with its number as it stands.
    VbError(int number, QString description, Reporting reporting = NotReported);
    int number() const { return m_number; }
    bool alreadyReported() const { return m_reporting == Reported; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    int m_number;
    QString m_description;
    Reporting m_reporting;
    QByteArray m_what;
};

[[noreturn]] void Raise(Err error);
// With a description of the program's own in place of the classic one.
[[noreturn]] void Raise(Err error, const QString& description);
// An operating-system error number as the classic error: EACCES -> 70 "Permission denied", ...
// forPath picks 76 "Path not found" over 53 "File not found" for ENOENT.
VbError osError(int errnoValue, bool forPath = false);
[[noreturn]] void RaiseOsError(int errnoValue, bool forPath = false);

// The record of the last trapped failure, the one the crash window shows. The number is 32-bit so
// that system error codes are shown whole.
struct ErrorRecord {
    QString procedure;
    qint16 line = 0;
    int number = 0;
    QString description;
};
ErrorRecord& LastError();

// Shows the recorded failure to the user (the crash window, every other window closed). The user
// interface installs one; without it a failure is only recorded.
class FailureReporter {
public:
    virtual ~FailureReporter() = default;
    virtual void showFailure() = 0;
    // True while a reported failure is on screen: every choice there ends the program.
    virtual bool failureShown() const = 0;
};
void SetFailureReporter(FailureReporter* reporter);
bool FailureShown();

// Records a failure and hands it to the failure reporter.
void HandleError(const QString& location, int line, int number, const QString& description);

// The per-procedure trap. Inside TRAP_BEGIN/TRAP_END, STEP(n) numbers the statement that follows;
// any exception thrown there reaches HandleError with the location, and the procedure then goes on
// after TRAP_END, where it returns its result as it stood.
class Trap {
public:
    explicit Trap(const char* location) : m_location(location) {}
    void handle(std::exception_ptr failure) const;
    int line = 0;

private:
    const char* m_location;
};

} // namespace stowline

#define TRAP_BEGIN(location)                                                                                 \
    ::stowline::Trap trap_(location);                                                                        \
    try {
#define STEP(n) trap_.line = (n);
#define TRAP_END                                                                                             \
    }                                                                                                        \
    catch (...) {                                                                                            \
        trap_.handle(std::current_exception());                                                              \
    }

#include "foundation/modError.h"

#include "foundation/modGlobal.h"
#include "platform/System.h"

#include <cerrno>
#include <new>

namespace stowline {

VbError::VbError(int number, QString description, Reporting reporting)
    : m_number(number), m_description(std::move(description)), m_reporting(reporting),
      m_what(m_description.toUtf8()) {}

VbError::VbError(Err error, QString description, Reporting reporting)
    : VbError(static_cast<int>(error), std::move(description), reporting) {}

QString describe(Err error) {
    switch (error) {
    case Err::InvalidCall:
        return QStringLiteral("Invalid procedure call or argument");
    case Err::Overflow:
        return QStringLiteral("Overflow");
    case Err::SubscriptOutOfRange:
        return QStringLiteral("Subscript out of range");
    case Err::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case Err::InternalError:
        return QStringLiteral("Internal error");
    case Err::FileNotFound:
        return QStringLiteral("File not found");
    case Err::DeviceIO:
        return QStringLiteral("Device I/O error");
    case Err::FileExists:
        return QStringLiteral("File already exists");
    case Err::DiskFull:
        return QStringLiteral("Disk full");
    case Err::PermissionDenied:
        return QStringLiteral("Permission denied");
    case Err::PathFileAccess:
        return QStringLiteral("Path/File access error");
    case Err::PathNotFound:
        return QStringLiteral("Path not found");
    case Err::ObjectNotSet:
        return QStringLiteral("Object variable or With block variable not set");
    case Err::InvalidFormat:
        return QStringLiteral("Invalid file format");
    case Err::TempFolderFull:
        return QStringLiteral("Temporary folder full");
    }
    return {};
}

void Raise(Err error) { throw VbError(error); }
void Raise(Err error, const QString& description) { throw VbError(error, description); }

VbError osError(int errnoValue, bool forPath) {
    switch (errnoValue) {
    case EACCES:
    case EPERM:
    case EROFS:
        return VbError(Err::PermissionDenied);
    case ENOENT:
    case ENOTDIR:
        return VbError(forPath ? Err::PathNotFound : Err::FileNotFound);
    case ENOSPC:
    case EDQUOT:
        return VbError(Err::DiskFull);
    case EEXIST:
    case ENOTEMPTY:
        return VbError(Err::FileExists);
    case EBUSY:
    case ETXTBSY:
        return VbError(Err::PathFileAccess);
    default:
        return VbError(Err::DeviceIO);
    }
}

void RaiseOsError(int errnoValue, bool forPath) { throw osError(errnoValue, forPath); }

namespace {
FailureReporter* installedReporter = nullptr;
}

ErrorRecord& LastError() {
    static ErrorRecord last;
    return last;
}

void SetFailureReporter(FailureReporter* reporter) { installedReporter = reporter; }

bool FailureShown() { return installedReporter && installedReporter->failureShown(); }

void HandleError(const QString& location, int line, int number, const QString& description) {
    LastError() = {location, static_cast<qint16>(line), number, description};
    if (installedReporter)
        installedReporter->showFailure();
}

void Trap::handle(std::exception_ptr failure) const {
    const QString location = QString::fromUtf8(m_location);
    try {
        std::rethrow_exception(failure);
    } catch (const platform::ProgramEnded&) {
        throw; // the program is ending: not a failure of this procedure
    } catch (const VbError& error) {
        if (error.alreadyReported())
            return;
        HandleError(location, line, error.number(), error.description());
    } catch (const std::bad_alloc&) {
        HandleError(location, line, 7, QStringLiteral("Out of memory"));
    } catch (const std::exception& error) {
        HandleError(location, line, 51, QStringLiteral("Internal error: ") + QString::fromUtf8(error.what()));
    }
}

} // namespace stowline

#include "foundation/modError.h"

#include "foundation/modGlobal.h"
#include "platform/System.h"

#include <cerrno>
#include <new>

namespace stowline {

VbError::VbError(int number, QString description, Reporting reporting)
    : m_number(number), m_description(std::move(description)), m_reporting(reporting),
      m_what(m_description.toUtf8()) {}

void Raise(int number, const QString& description) { throw VbError(number, description); }

VbError osError(int errnoValue, bool forPath) {
    switch (errnoValue) {
    case EACCES:
    case EPERM:
    case EROFS:
        return VbError(70, QStringLiteral("Permission denied"));
    case ENOENT:
    case ENOTDIR:
        return forPath ? VbError(76, QStringLiteral("Path not found"))
                       : VbError(53, QStringLiteral("File not found"));
    case ENOSPC:
    case EDQUOT:
        return VbError(61, QStringLiteral("Disk full"));
    case EEXIST:
    case ENOTEMPTY:
        return VbError(58, QStringLiteral("File already exists"));
    case EBUSY:
    case ETXTBSY:
        return VbError(75, QStringLiteral("Path/File access error"));
    default:
        return VbError(57, QStringLiteral("Device I/O error"));
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

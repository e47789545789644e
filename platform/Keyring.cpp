#include "platform/Keyring.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace stowline::platform {

namespace {

constexpr char Service[] = "Stowline";

KeyringAnswer runJob(QKeychain::Job& job, std::chrono::milliseconds limit) {
    job.setAutoDelete(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(limit, Qt::PreciseTimer, &loop, &QEventLoop::quit); // a coarse one may end early
    job.start();
    loop.exec();
    if (!finished)
        return {KeyringAnswer::Status::TimedOut, {}, {}};
    switch (job.error()) {
    case QKeychain::NoError:
        return {KeyringAnswer::Status::Done, {}, {}};
    case QKeychain::EntryNotFound:
        return {KeyringAnswer::Status::NotFound, {}, {}};
    default:
        return {KeyringAnswer::Status::Unavailable, {}, job.errorString()};
    }
}

} // namespace

KeyringAnswer ReadKeyringSecret(const QString& key, std::chrono::milliseconds limit) {
    // Without an application object there is no event loop to wait in.
    if (!QCoreApplication::instance())
        return {KeyringAnswer::Status::Unavailable, {}, QStringLiteral("no event loop")};
    auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(Service));
    job->setKey(key);
    KeyringAnswer answer = runJob(*job, limit);
    if (answer.status == KeyringAnswer::Status::Done)
        answer.secret = job->textData();
    job->deleteLater(); // a job still waiting for the keyring must outlive this call
    return answer;
}

KeyringAnswer StoreKeyringSecret(const QString& key, const QString& secret, std::chrono::milliseconds limit) {
    if (!QCoreApplication::instance())
        return {KeyringAnswer::Status::Unavailable, {}, QStringLiteral("no event loop")};
    auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(Service));
    job->setKey(key);
    job->setTextData(secret);
    KeyringAnswer answer = runJob(*job, limit);
    job->deleteLater();
    return answer;
}

KeyringAnswer DeleteKeyringSecret(const QString& key, std::chrono::milliseconds limit) {
    if (!QCoreApplication::instance())
        return {KeyringAnswer::Status::Unavailable, {}, QStringLiteral("no event loop")};
    auto* job = new QKeychain::DeletePasswordJob(QString::fromLatin1(Service));
    job->setKey(key);
    KeyringAnswer answer = runJob(*job, limit);
    job->deleteLater();
    return answer;
}

} // namespace stowline::platform

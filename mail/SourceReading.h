#pragma once

#include "mail/MailSource.h"

#include <functional>
#include <memory>
#include <optional>

// What a profile's and an archive's mail sources read alike, from files or from members.
namespace stowline::mail {

// A Favorites link from a .url file's path below the Favorites folder and its content.
std::optional<FavoriteLink> favoriteFromPath(const QString& relativePath, const QByteArray& content);
// The charset an identity's exported mail key records for text without one.
QByteArray charsetInRegFile(const QByteArray& content);
// The folders of a store folder holding these files, through its folder list where it has one.
QList<MailFolder> foldersOf(const QStringList& fileNames,
                            const std::function<std::unique_ptr<ByteSource>(const QString&)>& open);
// The name among names that equals wanted but for case; empty when none does.
QString matchingName(const QStringList& names, const QString& wanted);

} // namespace stowline::mail

#include "tests/restore/RestoreTestSupport.h"

#include "archive/frmInterface.h"
#include "foundation/RegFile.h"
#include "foundation/modGlobal.h"
#include "platform/RegistryStore.h"
#include "tests/support/TestEnvironment.h"
#include "ui/frmRS_Choice.h"
#include "ui/frmRS_IEF.h"
#include "ui/frmRS_Identity.h"

#include <QBuffer>
#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryFile>
#include <QTest>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace stowline::test {

QByteArray zipBytes(const ZipMembers& members) {
    QTemporaryFile file;
    if (!file.open())
        return {};
    writeZip(file.fileName(), members);
    return readFile(file.fileName());
}

void writeZip(const QString& path, const ZipMembers& members, const QString& comment) {
    int error = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    QVERIFY(archive);
    for (const auto& [name, content] : members) {
        // libzip keeps the buffer until zip_close: hand it a copy it frees itself.
        void* copy = malloc(static_cast<size_t>(content.size()) + 1);
        memcpy(copy, content.constData(), static_cast<size_t>(content.size()));
        zip_source_t* source = zip_source_buffer(archive, copy, static_cast<zip_uint64_t>(content.size()), 1);
        QVERIFY(zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) >= 0);
    }
    if (!comment.isEmpty()) {
        const QByteArray text = comment.toUtf8();
        zip_set_archive_comment(archive, text.constData(), static_cast<zip_uint16_t>(text.size()));
    }
    QVERIFY(zip_close(archive) == 0);
}

ArchiveBuilder& ArchiveBuilder::identity(const QString& id, const QString& name, const QString& regBody,
                                         const QByteArray& storeZip) {
    m_flags[0] = u'1';
    m_index += (u'"' + name + u"\",\""_s + id + u"\"\r\n"_s).toUtf8();
    m_members << qMakePair(id + u"/ident_key.reg"_s, (u"REGEDIT4\r\n\r\n"_s + regBody).toUtf8())
              << qMakePair(id + u"/ident_data.zip"_s,
                           storeZip.isEmpty() ? zipBytes({{u"Inbox.dbx"_s, "mail"}}) : storeZip);
    return *this;
}

ArchiveBuilder& ArchiveBuilder::favorites(const ZipMembers& files) {
    m_flags[1] = u'1';
    m_members << qMakePair(u"ief/ief_data.zip"_s, zipBytes(files));
    return *this;
}

ArchiveBuilder& ArchiveBuilder::addressBook(const QString& regBody, const ZipMembers& files) {
    m_flags[2] = u'1';
    m_members << qMakePair(u"wab/wab_key.reg"_s, (u"REGEDIT4\r\n\r\n"_s + regBody).toUtf8())
              << qMakePair(u"wab/wab_data.zip"_s, zipBytes(files));
    return *this;
}

ArchiveBuilder& ArchiveBuilder::member(const QString& name, const QByteArray& content) {
    m_members << qMakePair(name, content);
    return *this;
}

QString ArchiveBuilder::write(const QString& path) const {
    ZipMembers all = m_members;
    all << qMakePair(u"stowline_version.txt"_s, QByteArray("1,0,375\r\n"));
    if (m_flags[0] == u'1')
        all << qMakePair(u"ident.idx"_s, m_index);
    writeZip(path, all, m_flags);
    return path;
}

QString regString(const QString& text) {
    QString escaped = text;
    escaped.replace(u'\\', u"\\\\"_s).replace(u'"', u"\\\""_s);
    return u'"' + escaped + u'"';
}

QString identityReg(const QString& id, const QString& name, const QString& storeRoot) {
    const QString key = u"[HKEY_CURRENT_USER\\Identities\\"_s + id;
    return key + u"]\r\n\"Username\"="_s + regString(name) + u"\r\n\r\n"_s + key +
           u"\\Software\\Microsoft\\Outlook Express\\5.0]\r\n\"Store Root\"="_s + regString(storeRoot) +
           u"\r\n\r\n"_s;
}

QString addressBookReg(const QString& wabFile) {
    return QStringLiteral("[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4]\r\n\r\n"
                          "[HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name]\r\n@=") +
           regString(wabFile) + u"\r\n\r\n"_s;
}

template <class Page> Page* shownPage(const char* name) {
    auto* page = qobject_cast<Page*>(forms::find(QString::fromLatin1(name)));
    return page && page->isVisible() ? page : nullptr;
}

void clickNext(QWidget& page) { page.findChild<QPushButton*>(u"cmdNext"_s)->click(); }

bool walkRestoreWizard(const QString& archive, const WizardWalk& walk) {
    ArchivePath = archive;
    ArchiveItems = Zip().GetComment(archive);
    ShowPage(forms::get<frmRS_Choice>(u"frmRS_Choice"_s));
    auto* choice = shownPage<frmRS_Choice>("frmRS_Choice");
    if (!choice)
        return false;
    for (int item : walk.uncheckItems)
        choice->box(item).setChecked(false);
    clickNext(*choice);
    if (auto* identities = shownPage<frmRS_Identity>("frmRS_Identity")) {
        for (int line : walk.identityLines)
            identities->list().item(line)->setCheckState(Qt::Checked);
        clickNext(*identities);
    }
    if (auto* favorites = shownPage<frmRS_IEF>("frmRS_IEF")) {
        if (walk.addFavorites)
            favorites->addOption().click();
        clickNext(*favorites);
    }
    return true;
}

QByteArray exportKey(const QString& keyName) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    try {
        exportRegistry(platform::registry(), out, keyName, RegFileFormat::Regedit4);
    } catch (const RegFileError&) {
        return {};
    }
    return out.data();
}

QString readRegText(const QString& key, const QString& valueName) {
    const auto value = platform::registry().value(platform::Hive::CurrentUser, key, valueName);
    return value ? QString::fromUtf8(value->data) : QString();
}

QMap<QString, QByteArray> folderContents(const QString& folder) {
    QMap<QString, QByteArray> contents;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        contents.insert(path.mid(folder.size() + 1), readFile(path));
    }
    return contents;
}

} // namespace stowline::test

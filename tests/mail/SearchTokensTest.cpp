#include "mail/SearchTokens.h"

#include <QTest>
#include <sqlite3.h>

using namespace stowline::mail;

// The words SQLite's own folding tokenizer makes of a text, which the index's words must equal for the
// scripts old mail is written in.
static QStringList unicode61Words(const QString& text) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db,
                 "CREATE VIRTUAL TABLE t USING fts5(x, tokenize='unicode61 remove_diacritics 2');"
                 "CREATE VIRTUAL TABLE v USING fts5vocab(t, 'instance')",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO t(x) VALUES(?)", -1, &statement, nullptr);
    const QByteArray utf8 = text.toUtf8();
    sqlite3_bind_text(statement, 1, utf8.constData(), int(utf8.size()), SQLITE_STATIC);
    sqlite3_step(statement);
    sqlite3_finalize(statement);
    sqlite3_prepare_v2(db, "SELECT term FROM v ORDER BY offset", -1, &statement, nullptr);
    QStringList words;
    while (sqlite3_step(statement) == SQLITE_ROW)
        words << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return words;
}

class SearchTokensTest : public QObject {
    Q_OBJECT
private slots:
    void likeUnicode61_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("ASCII: case, digits, punctuation, underscore")
            << "Re: FW: Vertrag_2003 (Entwurf) v1.5 -- e-mail@Example.ORG!";
        QTest::newRow("Latin diacritics, composed and decomposed")
            << QString::fromUtf8("Müller Mu\u0308ller ÉCOLE Ångström Łódź Ǖ ṩ Việt İstanbul Ærø Œuvre ß ẞ");
        QTest::newRow("Cyrillic keeps й and ё") << QString::fromUtf8("Привет ЁЛКА йод Отчёт за Март");
        QTest::newRow("Greek, final sigma, tonos") << QString::fromUtf8("ΟΔΥΣΣΕΥΣ Ελληνικά άέή");
        QTest::newRow("CJK, kana, Hangul, full width")
            << QString::fromUtf8("会議、東京。明日 カタカナ ｶﾀｶﾅ 한국어 Ａｂｃ１２");
        QTest::newRow("beyond the BMP, symbols") << QString::fromUtf8("𐐀𐐁 𝐀𝐁 😀 x²³ € ①");
    }
    void likeUnicode61() {
        QFETCH(QString, text);
        QCOMPARE(SearchTokens(QStringView(text)).split(u' ', Qt::SkipEmptyParts), unicode61Words(text));
    }
};

QTEST_GUILESS_MAIN(SearchTokensTest)
#include "SearchTokensTest.moc"

#include "foundation/Passphrase.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace stowline;

class PassphraseTest : public QObject {
    Q_OBJECT
private slots:
    // What people type when asked for a strong passphrase, and what the estimate makes of it.
    void typedStrength_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("four common words") << u"correct horse battery staple"_s << false;
        QTest::newRow("word and digits") << u"Password2026!"_s << false;
        QTest::newRow("long run of one key") << u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"_s << false;
        QTest::newRow("a counted row") << u"abcdefghijklmnopqrstuvwxyz0123456789"_s << false;
        QTest::newRow("six words") << u"tide lantern quartz meadow orbit falcon"_s << true;
        QTest::newRow("random characters") << u"q7#Vd2!mZ9x$Lp4&"_s << true;
    }
    void typedStrength() {
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        QCOMPARE(EstimatedPassphraseBits(typed) >= MinimumPassphraseBits, accepted);
    }

    // Made passphrases: six groups of four from 32 symbols (120 bits), never twice the same, and
    // accepted when typed back.
    void generated() {
        const QString first = GeneratePassphrase();
        QVERIFY2(QRegularExpression(u"^([A-HJ-NP-Z2-9]{4}-){5}[A-HJ-NP-Z2-9]{4}$"_s).match(first).hasMatch(),
                 qPrintable(first));
        QVERIFY(first != GeneratePassphrase());
        QVERIFY(EstimatedPassphraseBits(first) >= MinimumPassphraseBits);
    }
};

QTEST_GUILESS_MAIN(PassphraseTest)
#include "PassphraseTest.moc"

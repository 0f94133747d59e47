// The messages of a run: a flood of bad lines keeps its first messages whole and counts the rest
// by kind, with exact error counts.

#include "engine/api/process.h"
#include "engine/base/diagnostics.h"
#include "engine/base/text.h"
#include "enginetesthelpers.h"

#include <QtTest>

class TestEngineDiagnostics : public QObject
{
    Q_OBJECT

private slots:
    void floodOfBadLinesIsCountedByKind();
    void kindsBeyondTheLimitAreCountedTogether();
    void appendedAsIfOneByOne_data();
    void appendedAsIfOneByOne();
};

void TestEngineDiagnostics::floodOfBadLinesIsCountedByKind()
{
    constexpr int kUnknown = 20000;
    constexpr int kEpochs = 1000;
    std::string text;
    for (int i = 0; i < kUnknown; ++i)
        text += i % 2 ? " X\n" : " QQQ" + std::to_string(i % 7) + "\n";
    for (int i = 0; i < kEpochs; ++i)
        text += " EPOC Campagne " + std::to_string(i) + "\n";
    const std::string observations = engine::normalizedPath("flood.iob");
    const std::string configuration = engine::normalizedPath("flood.cfg");
    const engine::ProcessOutput output = engine::runProcessing(
        observations, configuration,
        memoryLoader(
            {{observations, text}, {configuration, engine::defaultConfigurationText("\n")}}));
    QCOMPARE(output.summary.status, 1);
    QCOMPARE(output.summary.errors, kUnknown + kEpochs);
    const std::string &report = output.report;
    const auto count = [&](const std::string &fragment) {
        int n = 0;
        for (std::size_t at = report.find(fragment); at != std::string::npos;
             at = report.find(fragment, at + 1))
            ++n;
        return n;
    };
    QCOMPARE(count("   ERREUR ("), int(engine::Diagnostics::kDetailedLimit));
    // The unknown codes differ only within « »: one kind, whatever the code.
    QCOMPARE(count(engine::fr("... et 19 500 autres erreurs du même type que : Code "
                              "d'enregistrement inconnu « ")),
             1);
    // Epochs without the multi-epoch mode.
    QCOMPARE(count(engine::fr("... et 1 000 autres erreurs du même type que : L'enregistrement "
                              "EPOC n'est traité qu'avec")),
             1);
    QCOMPARE(count(engine::fr("TRAITEMENT INTERROMPU : 21000 erreur(s)")), 1);
    QVERIFY(report.size() < 100000);
}

void TestEngineDiagnostics::kindsBeyondTheLimitAreCountedTogether()
{
    engine::Diagnostics diagnostics;
    const std::size_t detailed = engine::Diagnostics::kDetailedLimit;
    const std::size_t kinds = engine::Diagnostics::kKindLimit;
    for (std::size_t i = 0; i < detailed; ++i)
        diagnostics.warning("a.iob", int(i) + 1, "detail");
    // Texts that differ by their letters, not only by numbers or quoted parts, are kinds apart.
    const auto letters = [](std::size_t n) {
        std::string text;
        do {
            text += char('a' + n % 26);
            n /= 26;
        } while (n > 0);
        return text;
    };
    for (std::size_t i = 0; i < kinds + 10; ++i) {
        diagnostics.error("a.iob", 1, "kind " + letters(i) + " line 12");
        diagnostics.error("a.iob", 2, "kind " + letters(i) + " line 345");
    }
    diagnostics.warning("a.iob", 3, "kind a line 6");
    QCOMPARE(diagnostics.errorCount(), int(2 * (kinds + 10)));
    QCOMPARE(diagnostics.items().size(), detailed);
    const auto &omitted = diagnostics.omitted();
    // The first kinds one by one, then the further errors together and the warning apart.
    QCOMPARE(omitted.size(), kinds + 2);
    for (std::size_t i = 0; i < kinds; ++i) {
        QCOMPARE(omitted[i].count, 2LL);
        QCOMPARE(omitted[i].example, "kind " + letters(i) + " line 12");
    }
    QVERIFY(omitted[kinds].example.empty());
    QCOMPARE(omitted[kinds].count, 2LL * 10);
    QCOMPARE(omitted[kinds].severity, engine::Diagnostic::Severity::Error);
    QCOMPARE(omitted[kinds + 1].count, 1LL);
    QCOMPARE(omitted[kinds + 1].severity, engine::Diagnostic::Severity::Warning);
}

void TestEngineDiagnostics::appendedAsIfOneByOne_data()
{
    // Messages sent before, then appended: those appended are all kept whole where they were
    // made, but not all of them here.
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("kinds");

    QTest::newRow("nothing before") << 0 << 400 << 7;
    QTest::newRow("a few refusals, then a full reading") << 3 << 500 << 7;
    QTest::newRow("counted by kind together") << 300 << 450 << 7;
    QTest::newRow("kinds beyond the limit together") << 450 << 500 << 300;
}

void TestEngineDiagnostics::appendedAsIfOneByOne()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, kinds);
    // Message k: an error or a warning of one of `kinds` texts, told apart by letters (numbers
    // and quoted parts do not tell kinds apart), each with its own number.
    const auto send = [kinds](engine::Diagnostics &to, int k) {
        const int kind = k % kinds;
        const std::string text = std::string("Sorte ") + char('A' + kind % 26) +
                                 char('A' + kind / 26) + " \xAB " + std::to_string(k) + " \xBB";
        if (k % 3 == 0)
            to.warning("f.iob", k + 1, text);
        else
            to.error("f.iob", k + 1, text);
    };
    engine::Diagnostics oneByOne;
    engine::Diagnostics first;
    engine::Diagnostics second;
    for (int k = 0; k < before + after; ++k) {
        send(oneByOne, k);
        send(k < before ? first : second, k);
    }
    QVERIFY(second.omitted().empty());
    first.append(second);
    QCOMPARE(first.errorCount(), oneByOne.errorCount());
    QCOMPARE(first.items().size(), oneByOne.items().size());
    for (std::size_t i = 0; i < oneByOne.items().size(); ++i) {
        QCOMPARE(first.items()[i].line, oneByOne.items()[i].line);
        QCOMPARE(first.items()[i].text, oneByOne.items()[i].text);
    }
    QCOMPARE(first.omitted().size(), oneByOne.omitted().size());
    for (std::size_t i = 0; i < oneByOne.omitted().size(); ++i) {
        QCOMPARE(first.omitted()[i].severity, oneByOne.omitted()[i].severity);
        QCOMPARE(first.omitted()[i].example, oneByOne.omitted()[i].example);
        QCOMPARE(first.omitted()[i].count, oneByOne.omitted()[i].count);
    }
    // The rows reach the limit of kinds where they say so.
    QCOMPARE(oneByOne.omitted().size() > engine::Diagnostics::kKindLimit, kinds > 200);
}

QTEST_GUILESS_MAIN(TestEngineDiagnostics)
#include "tst_enginediagnostics.moc"

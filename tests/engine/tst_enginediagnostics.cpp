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

QTEST_GUILESS_MAIN(TestEngineDiagnostics)
#include "tst_enginediagnostics.moc"

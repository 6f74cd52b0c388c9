#include <QCoreApplication>

int runFormRulesTests(int argc, char** argv);
int runDraftsTests(int argc, char** argv);
int runDraftFilesTests(int argc, char** argv);
int runDraftsFaultTests(int argc, char** argv);
int runRunTests(int argc, char** argv);
int runSubmissionTests(int argc, char** argv);

// One binary for the model's test classes; each runs with its own report.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    int failures = 0;
    for (auto run : {runFormRulesTests, runDraftsTests, runDraftFilesTests, runDraftsFaultTests, runRunTests, runSubmissionTests})
        failures += run(argc, argv);
    return failures == 0 ? 0 : 1;
}

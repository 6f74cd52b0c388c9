#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <thread>

#include "depot/sqlite_store.h"
#include "support/scratch_folder.h"

namespace nvx::depot {
namespace {

NewRun newRun(const std::string& id, const std::string& key, const std::string& body) {
    NewRun run;
    run.id = id;
    run.keyDigest = receiptKeyDigest(key);
    run.body = body;
    run.receivedAt = "2026-03-01T09:15:00Z";
    run.name = "Монтажная №2";
    run.owner = "Отдел снабжения";
    run.location = "Береговой цех";
    run.model = "Mac14,7";
    return run;
}

const std::string keyA(64, 'a');
const std::string keyB(64, 'b');

TEST(DepotStore, KeepsTheBytesVerbatimAndOnlyTheKeysDigest) {
    testing::ScratchFolder folder;
    SqliteStore store(folder.path() / "depot.sqlite");
    // Bytes the text collation must not touch: a zero byte, CR LF, no final newline.
    const std::string body = std::string("{\"x\": \"\0\r\n\"}", 12);
    ASSERT_EQ(store.store(newRun("run-1", keyA, body)), StoreOutcome::stored);
    const auto found = store.find("run-1");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->body, body);
    EXPECT_EQ(found->receivedAt, "2026-03-01T09:15:00Z");
    EXPECT_EQ(store.findWithKey("run-1", receiptKeyDigest(keyA))->body, body);
    EXPECT_FALSE(store.findWithKey("run-1", receiptKeyDigest(keyB)));
    EXPECT_FALSE(store.find("run-2"));
    EXPECT_FALSE(store.find("RUN-1"));
    EXPECT_FALSE(store.findWithKey("run-2", receiptKeyDigest(keyA)));
}

TEST(DepotStore, TheSameBytesAgainAddTheirKeyAndOtherBytesChangeNothing) {
    testing::ScratchFolder folder;
    SqliteStore store(folder.path() / "depot.sqlite");
    ASSERT_EQ(store.store(newRun("run-1", keyA, "{1}")), StoreOutcome::stored);
    EXPECT_EQ(store.store(newRun("run-1", keyA, "{1}")), StoreOutcome::alreadyStored);
    EXPECT_EQ(store.store(newRun("run-1", keyB, "{1}")), StoreOutcome::alreadyStored);
    // Both keys read it, as does a third one retried later.
    EXPECT_EQ(store.findWithKey("run-1", receiptKeyDigest(keyA))->body, "{1}");
    EXPECT_EQ(store.findWithKey("run-1", receiptKeyDigest(keyB))->body, "{1}");
    const std::string keyC(64, 'c');
    EXPECT_FALSE(store.findWithKey("run-1", receiptKeyDigest(keyC)));
    for (const std::string& key : {keyA, keyC}) {
        EXPECT_EQ(store.store(newRun("run-1", key, "{2}")), StoreOutcome::differentBody);
    }
    EXPECT_FALSE(store.findWithKey("run-1", receiptKeyDigest(keyC)));  // a refused key reads nothing
    EXPECT_EQ(store.find("run-1")->body, "{1}");
    EXPECT_EQ(store.latest(10).size(), 1u);
}

TEST(DepotStore, AFileOfTheFirstLayoutKeepsItsRecordsAndKeys) {
    testing::ScratchFolder folder;
    const auto file = folder.path() / "depot.sqlite";
    {
        // The layout before records kept several keys: one key in `runs`.
        sqlite3* database = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(database,
                               "CREATE TABLE runs (sequence INTEGER PRIMARY KEY, id TEXT NOT NULL UNIQUE,"
                               " key_sha256 BLOB NOT NULL, body BLOB NOT NULL, received_at TEXT NOT NULL,"
                               " name TEXT NOT NULL, owner TEXT NOT NULL, location TEXT NOT NULL, model TEXT NOT NULL)",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_stmt* insert = nullptr;
        sqlite3_prepare_v2(database, "INSERT INTO runs VALUES (1, 'old', ?1, '{old}', '2025', 'n', 'o', 'l', 'm')", -1,
                           &insert, nullptr);
        sqlite3_bind_blob(insert, 1, receiptKeyDigest(keyA).data(), 32, SQLITE_TRANSIENT);
        EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_finalize(insert);
        sqlite3_close(database);
    }
    for (int opening = 0; opening < 2; ++opening) {
        SqliteStore store(file);
        EXPECT_EQ(store.findWithKey("old", receiptKeyDigest(keyA))->body, "{old}");
        EXPECT_EQ(store.store(newRun("old", keyB, "{old}")), StoreOutcome::alreadyStored);
        EXPECT_EQ(store.findWithKey("old", receiptKeyDigest(keyB))->body, "{old}");
        EXPECT_EQ(store.latest(10).size(), 1u);
    }
}

TEST(DepotStore, AFileOfANewerLayoutIsNotOpened) {
    testing::ScratchFolder folder;
    const auto file = folder.path() / "depot.sqlite";
    { SqliteStore created(file); }
    sqlite3* database = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &database), SQLITE_OK);
    sqlite3_exec(database, "PRAGMA user_version = 7", nullptr, nullptr, nullptr);
    sqlite3_close(database);
    try {
        SqliteStore store(file);
        FAIL();
    } catch (const StorageError& error) {
        EXPECT_NE(std::string(error.what()).find("более новой версией склада (схема 7)"), std::string::npos);
    }
}

TEST(DepotStore, ListsNewestFirstUpToTheLimit) {
    testing::ScratchFolder folder;
    SqliteStore store(folder.path() / "depot.sqlite");
    for (int i = 0; i < 5; ++i) store.store(newRun("run-" + std::to_string(i), keyA, "{}"));
    const auto listing = store.latest(3);
    ASSERT_EQ(listing.size(), 3u);
    EXPECT_EQ(listing[0].id, "run-4");
    EXPECT_EQ(listing[2].id, "run-2");
    EXPECT_EQ(listing[0].name, "Монтажная №2");
    EXPECT_EQ(listing[0].owner, "Отдел снабжения");
    EXPECT_EQ(listing[0].location, "Береговой цех");
    EXPECT_EQ(listing[0].model, "Mac14,7");
}

TEST(DepotStore, RecordsOutliveTheStoreAndConcurrentWritersLoseNothing) {
    testing::ScratchFolder folder;
    const auto file = folder.path() / "depot.sqlite";
    {
        SqliteStore store(file);
        std::vector<std::thread> writers;
        for (int writer = 0; writer < 4; ++writer) {
            writers.emplace_back([&store, writer] {
                for (int i = 0; i < 10; ++i) {
                    const std::string id = std::to_string(writer) + "-" + std::to_string(i);
                    EXPECT_EQ(store.store(newRun(id, keyA, "{" + id + "}")), StoreOutcome::stored);
                    EXPECT_EQ(store.find(id)->body, "{" + id + "}");
                }
            });
        }
        for (auto& writer : writers) writer.join();
    }
    SqliteStore reopened(file);
    EXPECT_EQ(reopened.latest(100).size(), 40u);
    EXPECT_EQ(reopened.find("3-9")->body, "{3-9}");
}

TEST(DepotStore, RacingSubmissionsOfOneIdStoreExactlyOne) {
    testing::ScratchFolder folder;
    SqliteStore store(folder.path() / "depot.sqlite");
    std::vector<StoreOutcome> outcomes(8);
    std::vector<std::thread> racers;
    const auto keyOf = [](int racer) { return racer < 4 ? keyA : std::string(64, static_cast<char>('0' + racer)); };
    for (int racer = 0; racer < 8; ++racer) {
        racers.emplace_back([&, racer] {
            // Racers 0-3 share key A; 4-6 each bring their own key; 7 other bytes.
            outcomes[racer] = store.store(newRun("contested", keyOf(racer), racer == 7 ? "{other}" : "{same}"));
        });
    }
    for (auto& racer : racers) racer.join();
    const auto count = [&](StoreOutcome outcome) { return std::count(outcomes.begin(), outcomes.end(), outcome); };
    EXPECT_EQ(count(StoreOutcome::stored), 1);
    const bool otherWon = outcomes[7] == StoreOutcome::stored;
    EXPECT_EQ(count(StoreOutcome::differentBody), otherWon ? 7 : 1);
    EXPECT_EQ(count(StoreOutcome::alreadyStored), otherWon ? 0 : 6);
    // Every key whose submission was acknowledged reads the record back.
    for (int racer = 0; racer < 8; ++racer) {
        const auto found = store.findWithKey("contested", receiptKeyDigest(keyOf(racer)));
        EXPECT_EQ(found.has_value(), outcomes[racer] != StoreOutcome::differentBody) << racer;
    }
}

TEST(DepotStore, UnopenableDatabaseIsAStorageError) {
    testing::ScratchFolder folder;
    EXPECT_THROW(SqliteStore(folder.path() / "missing" / "depot.sqlite"), StorageError);
    std::filesystem::create_directories(folder.path() / "folder.sqlite");
    EXPECT_THROW(SqliteStore(folder.path() / "folder.sqlite"), StorageError);
}

TEST(ReceiptKey, OnlySixtyFourLowerCaseHexDigitsAreWellFormed) {
    EXPECT_TRUE(isWellFormedReceiptKey(keyA));
    EXPECT_TRUE(isWellFormedReceiptKey("0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef"));
    EXPECT_FALSE(isWellFormedReceiptKey(""));
    EXPECT_FALSE(isWellFormedReceiptKey(std::string(63, 'a')));
    EXPECT_FALSE(isWellFormedReceiptKey(std::string(65, 'a')));
    EXPECT_FALSE(isWellFormedReceiptKey(std::string(64, 'A')));
    EXPECT_FALSE(isWellFormedReceiptKey(std::string(63, 'a') + "g"));
}

}  // namespace
}  // namespace nvx::depot

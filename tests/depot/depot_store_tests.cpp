#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "depot/depot_store.h"
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
    run.model = "Mac14,7";
    return run;
}

const std::string keyA(64, 'a');
const std::string keyB(64, 'b');

TEST(DepotStore, KeepsTheBytesVerbatimAndOnlyTheKeysDigest) {
    testing::ScratchFolder folder;
    DepotStore store(folder.path() / "depot.sqlite");
    // Bytes the text collation must not touch: a zero byte, CR LF, no final newline.
    const std::string body = std::string("{\"x\": \"\0\r\n\"}", 12);
    ASSERT_EQ(store.store(newRun("run-1", keyA, body)), StoreOutcome::stored);
    const auto found = store.find("run-1");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->body, body);
    EXPECT_TRUE(sameDigest(found->keyDigest, receiptKeyDigest(keyA)));
    EXPECT_FALSE(sameDigest(found->keyDigest, receiptKeyDigest(keyB)));
    EXPECT_EQ(found->receivedAt, "2026-03-01T09:15:00Z");
    EXPECT_FALSE(store.find("run-2"));
    EXPECT_FALSE(store.find("RUN-1"));
}

TEST(DepotStore, ResubmissionIsIdempotentOnlyForTheSameKeyAndBytes) {
    testing::ScratchFolder folder;
    DepotStore store(folder.path() / "depot.sqlite");
    ASSERT_EQ(store.store(newRun("run-1", keyA, "{1}")), StoreOutcome::stored);
    EXPECT_EQ(store.store(newRun("run-1", keyA, "{1}")), StoreOutcome::alreadyStored);
    EXPECT_EQ(store.store(newRun("run-1", keyB, "{1}")), StoreOutcome::takenByAnotherKey);
    EXPECT_EQ(store.store(newRun("run-1", keyA, "{2}")), StoreOutcome::differentBody);
    EXPECT_EQ(store.find("run-1")->body, "{1}");  // the refused ones changed nothing
    EXPECT_EQ(store.latest(10).size(), 1u);
}

TEST(DepotStore, ListsNewestFirstUpToTheLimit) {
    testing::ScratchFolder folder;
    DepotStore store(folder.path() / "depot.sqlite");
    for (int i = 0; i < 5; ++i) store.store(newRun("run-" + std::to_string(i), keyA, "{}"));
    const auto listing = store.latest(3);
    ASSERT_EQ(listing.size(), 3u);
    EXPECT_EQ(listing[0].id, "run-4");
    EXPECT_EQ(listing[2].id, "run-2");
    EXPECT_EQ(listing[0].name, "Монтажная №2");
    EXPECT_EQ(listing[0].model, "Mac14,7");
}

TEST(DepotStore, RecordsOutliveTheStoreAndConcurrentWritersLoseNothing) {
    testing::ScratchFolder folder;
    const auto file = folder.path() / "depot.sqlite";
    {
        DepotStore store(file);
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
    DepotStore reopened(file);
    EXPECT_EQ(reopened.latest(100).size(), 40u);
    EXPECT_EQ(reopened.find("3-9")->body, "{3-9}");
}

TEST(DepotStore, RacingSubmissionsOfOneIdStoreExactlyOne) {
    testing::ScratchFolder folder;
    DepotStore store(folder.path() / "depot.sqlite");
    std::vector<StoreOutcome> outcomes(8);
    std::vector<std::thread> racers;
    for (int racer = 0; racer < 8; ++racer) {
        racers.emplace_back([&, racer] {
            // Racers 0-3 share key A and the bytes; 4-7 each bring their own key.
            const std::string key = racer < 4 ? keyA : std::string(64, static_cast<char>('0' + racer));
            outcomes[racer] = store.store(newRun("contested", key, "{same}"));
        });
    }
    for (auto& racer : racers) racer.join();
    const auto count = [&](StoreOutcome outcome) { return std::count(outcomes.begin(), outcomes.end(), outcome); };
    EXPECT_EQ(count(StoreOutcome::stored), 1);
    const bool keyAWon = sameDigest(store.find("contested")->keyDigest, receiptKeyDigest(keyA));
    EXPECT_EQ(count(StoreOutcome::alreadyStored), keyAWon ? 3 : 0);
    EXPECT_EQ(count(StoreOutcome::takenByAnotherKey), keyAWon ? 4 : 7);
}

TEST(DepotStore, UnopenableDatabaseIsAStorageError) {
    testing::ScratchFolder folder;
    EXPECT_THROW(DepotStore(folder.path() / "missing" / "depot.sqlite"), StorageError);
    std::filesystem::create_directories(folder.path() / "folder.sqlite");
    EXPECT_THROW(DepotStore(folder.path() / "folder.sqlite"), StorageError);
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

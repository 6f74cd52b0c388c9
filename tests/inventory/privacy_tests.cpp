#include <set>
#include <string>

#include <gtest/gtest.h>

#include "core/random_id.h"
#include "inventory/privacy.h"

namespace nvx {
namespace {

using nlohmann::json;

TEST(CleanedInventory, DropsIdentifyingKeysAtEveryDepthAndKeepsLists) {
    const json raw = json::parse(R"({
        "serial_number": "C02XL0GYJGH5",
        "platform_UUID": "0A1B2C3D-0000-1111-2222-333344445555",
        "machine_model": "MacBookPro18,3",
        "children": [
            {"_name": "disk0", "serial_number": "S4EWNX0R", "device_wwn": "0x5002538e",
             "volumes": [{"_name": "Data", "volume_uuid": "F00D", "size": 42}]},
            "plain text",
            {"USB Serial": "x", "spusb_udid": "y", "SERIALNUMBER": "z", "Serial-Number": "w",
             "series": "kept", "sppci_model": "kept"}
        ]
    })");
    const json cleaned = cleanedInventory(raw);
    EXPECT_EQ(cleaned, json::parse(R"({
        "machine_model": "MacBookPro18,3",
        "children": [
            {"_name": "disk0", "volumes": [{"_name": "Data", "size": 42}]},
            "plain text",
            {"series": "kept", "sppci_model": "kept"}
        ]
    })"));
    // The input itself is left as it was.
    EXPECT_TRUE(raw.contains("serial_number"));
}

TEST(CleanedInventory, LooksAtKeysOnlyNeverAtValues) {
    const json raw = {{"_name", "serial number uuid wwn"}, {"items", {"UDID", "serial"}}};
    EXPECT_EQ(cleanedInventory(raw), raw);
}

TEST(CleanedInventory, LeavesScalarsAndEmptyContainersAsTheyAre) {
    for (const json& node :
         {json::object(), json::array(), json("serial"), json(42), json(2.5), json(true), json(nullptr)})
        EXPECT_EQ(cleanedInventory(node), node) << node.dump();
    EXPECT_TRUE(cleanedInventory(json::object()).is_object());
    EXPECT_TRUE(cleanedInventory(json::array()).is_array());
}

TEST(DeviceIdentifier, IsSHA256OfThePrefixedUUIDWithVersionAndVariantBits) {
    EXPECT_EQ(deviceIdentifier("known-test-uuid"), "00b87eca-99bd-5ee4-8635-a67946105e24");
    EXPECT_EQ(deviceIdentifier("another-uuid"), "38f42444-c787-5510-85da-20404318c2cb");
    EXPECT_EQ(deviceIdentifier("known-test-uuid"), deviceIdentifier("known-test-uuid"));
}

TEST(DeviceIdentifier, TakesTheInputExactlyAsGiven) {
    const std::set<std::string> identifiers = {deviceIdentifier("abc-uuid"), deviceIdentifier("ABC-UUID"),
                                               deviceIdentifier(" abc-uuid"), deviceIdentifier("abc-uuid\n"),
                                               deviceIdentifier("абв")};
    EXPECT_EQ(identifiers.size(), 5u);
    for (const auto& identifier : identifiers) {
        EXPECT_TRUE(isCanonicalUUID(identifier)) << identifier;
        EXPECT_EQ(identifier[14], '5') << identifier;
        EXPECT_NE(std::string("89ab").find(identifier[19]), std::string::npos) << identifier;
        EXPECT_EQ(identifier.find_first_of("ABCDEF"), std::string::npos) << identifier;
    }
}

TEST(DeviceIdentifier, IsRandomWithoutAPlatformUUID) {
    for (const auto& input : {std::optional<std::string>(), std::optional<std::string>("")}) {
        const auto first = deviceIdentifier(input);
        const auto second = deviceIdentifier(input);
        EXPECT_TRUE(isCanonicalUUID(first)) << first;
        EXPECT_EQ(first.find_first_of("ABCDEF"), std::string::npos) << first;
        EXPECT_NE(first, second);
    }
}

}  // namespace
}  // namespace nvx

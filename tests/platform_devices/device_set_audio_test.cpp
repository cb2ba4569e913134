// Audio devices in the device file: the optional property_pages field.
#include "devices/device_set.h"

#include <gtest/gtest.h>

#include <string>

namespace vorsim {
namespace {

TEST(ParseAudioDevice, PropertyPagesAreOptionalAndChecked) {
    DeviceSet set;
    std::string error;
    ASSERT_TRUE(parse_device_file(R"({"audio": [{"friendly_name": "Mic"}, {"friendly_name": "Mic 2",
        "rate": 48000, "property_pages": 0}]})", set, error)) << error;
    EXPECT_EQ(set.audio.at(0).property_pages, std::nullopt) << "absent: no ISpecifyPropertyPages";
    EXPECT_EQ(set.audio.at(1), (AudioDevice{"Mic 2", 48000, 2, 0}));

    const DeviceSet before = set;
    EXPECT_FALSE(parse_device_file(R"({"audio": [{"friendly_name": "Mic", "property_pages": -1}]})", set, error));
    EXPECT_EQ(error, R"(audio[0] "Mic": property_pages: expected a non-negative integer)");
    EXPECT_FALSE(parse_device_file(R"({"audio": [{"friendly_name": "Mic", "property_page": 1}]})", set, error));
    EXPECT_EQ(error, R"(audio[0] "Mic": property_page: unknown field)");
    EXPECT_EQ(set, before);
}

}  // namespace
}  // namespace vorsim

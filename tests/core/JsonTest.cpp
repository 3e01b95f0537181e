// Json: floats as they were typed, numbers that are not finite as null, the
// fields in the order they were set, and any bytes written.
#include "core/Json.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Json, FloatsAreWrittenAsTheShortestDecimalThatReadsBackAsTheSameFloat) {
    const struct {
        float value;
        const char* text;
    } cases[] = {{0.3f, "0.3"},
                 {3.75f, "3.75"},
                 {0.1f, "0.1"},
                 {-2.0f, "-2.0"},
                 {1.0f / 3.0f, "0.33333334"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Json(JsonFloat(c.value)).dump(), c.text);
        EXPECT_EQ(float(JsonFloat(c.value)), c.value);
    }
}

TEST(Json, NumbersThatAreNotFiniteAreNullFieldsKeepTheirOrderAndOtherBytesAreReplaced) {
    const Json document = {{"z_first", NAN},
                           {"a_second", INFINITY},
                           {"eye", JsonVec3(glm::vec3(NAN, 1.0f, 2.0f))},
                           {"path", "a\xff"}};
    const std::string text = JsonText(document);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_LT(text.find("z_first"), text.find("a_second")) << text;
    const Json back = Json::parse(text);
    EXPECT_TRUE(back["z_first"].is_null());
    EXPECT_TRUE(back["a_second"].is_null());
    EXPECT_EQ(back["eye"], Json::array({nullptr, 1.0, 2.0}));
    EXPECT_EQ(back["path"], "a\xef\xbf\xbd") << "U+FFFD";
}

// Options: what the shared option parsers accept and refuse, and the
// sentence each refusal gives.
#include "core/Options.h"

#include <gtest/gtest.h>

TEST(Options, VectorsAreExactlyThreeFiniteNumbers) {
    glm::vec3 v(7.0f);
    std::string error;
    ASSERT_TRUE(ParseVector("92,6,50", &v, &error));
    EXPECT_EQ(v, glm::vec3(92.0f, 6.0f, 50.0f));
    ASSERT_TRUE(ParseVector("1,-0.25,.6", &v, &error));
    EXPECT_EQ(v, glm::vec3(1.0f, -0.25f, 0.6f));
    const glm::vec3 kept = v;
    for (const char* bad : {"", "1,2", "1,2,3,4", "1,,3", "1,2,", "a,b,c", "1,2,3x", "1, 2,3",
                            "nan,0,0", "0,inf,0", "1e50,0,0"}) {
        error.clear();
        EXPECT_FALSE(ParseVector(bad, &v, &error)) << bad;
        EXPECT_NE(error.find("vector \"" + std::string(bad) + "\""), std::string::npos) << bad;
        EXPECT_EQ(v, kept) << "a refused vector leaves the result alone";
    }
}

TEST(Options, RadiusMustBeFiniteAndPositiveCountsWithinTheirRange) {
    float r = 1.0f;
    std::string error;
    ASSERT_TRUE(ParseRadius("3.75", &r, &error));
    EXPECT_FLOAT_EQ(r, 3.75f);
    for (const char* bad : {"0", "-0.5", "-0", "", "abc", "inf", "nan", "0.9m"}) {
        EXPECT_FALSE(ParseRadius(bad, &r, &error)) << bad;
        EXPECT_NE(error.find("bad radius"), std::string::npos);
    }
    EXPECT_FLOAT_EQ(r, 3.75f);
    int n = 0;
    EXPECT_TRUE(ParseCount("5", 1, 10, &n, &error));
    EXPECT_EQ(n, 5);
    EXPECT_FALSE(ParseCount("0", 1, 10, &n, &error));
    EXPECT_FALSE(ParseCount("11", 1, 10, &n, &error));
    EXPECT_FALSE(ParseCount("3.0", 1, 10, &n, &error));
    EXPECT_EQ(n, 5);
}

// A setting kept in hundredths takes exactly the values the keys reach: what
// is not a whole number of hundredths is refused, never rounded to another
// value (1e-45 would otherwise become a radius of 0).
TEST(Options, HundredthsAreTakenExactlyOrRefusedWithTheReason) {
    const struct {
        const char* text;
        bool taken;
        float value;
        const char* message;
    } kCases[] = {
        {"0", true, 0.0f, ""},
        {"0.9", true, 0.9f, ""},
        {"1.25", true, 1.25f, ""},
        {"5", true, 5.0f, ""},
        {"3.75e0", true, 3.75f, ""},
        {"1e-45", false, 0.0f, "bad radius \"1e-45\": the setting is kept in hundredths (e.g. 0)"},
        {"0.905", false, 0.0f, "kept in hundredths (e.g. 0.9"},
        {"0.001", false, 0.0f, "kept in hundredths"},
        {"5.01", false, 0.0f, "bad radius \"5.01\": expected a number from 0 to 5"},
        {"-0.05", false, 0.0f, "expected a number from 0 to 5"},
        {"x", false, 0.0f, "bad radius \"x\""},
    };
    for (const auto& c : kCases) {
        float value = -1.0f;
        std::string error;
        EXPECT_EQ(ParseHundredths(c.text, "radius", 500, &value, &error), c.taken) << c.text;
        if (c.taken)
            EXPECT_EQ(value, c.value) << c.text;
        else
            EXPECT_EQ(value, -1.0f) << "a refused value leaves the result alone: " << c.text;
        EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
    }
}

TEST(Options, AnOptionWithoutItsValueIsNamedInTheMessage) {
    std::string words[] = {"tool", "--rays"};
    char* argv[] = {&words[0][0], &words[1][0]};
    int index = 1;
    std::string error;
    EXPECT_EQ(OptionValue(2, argv, &index, &error), nullptr);
    EXPECT_EQ(error, "--rays needs a value");
    index = 0;
    EXPECT_STREQ(OptionValue(2, argv, &index, &error), "--rays");
    EXPECT_EQ(index, 1);
}

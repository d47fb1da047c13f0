// Win32 error numbers in the component's messages: the system's text, without the full stop
// and line end the system puts after it.
#include <gtest/gtest.h>

#include "serial/VaUtils.h"

namespace {

TEST(SystemText, Win32ErrorsReadWithoutTheirLineEnd) {
    for (int error : {2, 5, 21, 87, 109, 995}) {
        const std::string text = vautils::SystemErrorText(error);
        ASSERT_FALSE(text.empty()) << error;
        const char last = text.back();
        EXPECT_TRUE(last != '.' && last != '\r' && last != '\n' && last != ' ') << error << ": \"" << text << "\"";
        EXPECT_EQ(text.find('\n'), std::string::npos) << error;
    }
    EXPECT_EQ(vautils::FormatCommMessage("Can't open specified device COM5 (Error %d, %s)", 5),
              "Can't open specified device COM5 (Error 5, " + vautils::SystemErrorText(5) + ")");
}

} // namespace

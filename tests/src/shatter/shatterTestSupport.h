#pragma once

// The shatter tests: the module loaded in batch mode, shatters run with their idle
// work done, and what they made looked up.

#include <string>
#include <variant>
#include <vector>

#include "moduleTestSupport.h"

namespace zyltest {

class ShatterTest : public BatchModuleTest {
protected:
    static bool exists(const std::string& name) { return !node(name).isNull(); }
    // zylShatter with the arguments, then the work it queued; the names it answered.
    static std::vector<std::string> shatter(const std::string& arguments) {
        host::Result result;
        EXPECT_TRUE(mel("zylShatter " + arguments, &result)) << arguments;
        rt().idle.flush();
        const auto* names = std::get_if<std::vector<std::string>>(&result);
        return names ? *names : std::vector<std::string>{};
    }
};

}  // namespace zyltest

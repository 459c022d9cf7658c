// The plug-in as the viewer uses it: loaded by file name, one export, and the
// texts shipped with it.
#include <dlfcn.h>

#include <cstdlib>
#include <cwchar>
#include <string>

#include <gtest/gtest.h>

#include "ovlplug.h"
#include "temp_dir.h"

namespace {

class PluginTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The shipped lumoraui.osd lies beside the plug-in in the output folder.
        ::setenv("KVP_PROGRAM_DIR", KVP_BIN_DIR, 1);
        lib_ = ::dlopen(KVP_BIN_DIR "/ovlplug.so", RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(lib_, nullptr) << ::dlerror();
        auto get = reinterpret_cast<OvlGetInterfaceFn>(::dlsym(lib_, "GetInterface"));
        ASSERT_NE(get, nullptr);
        table_ = get("{00000000-0000-0000-0000-00000000}");
        ASSERT_NE(table_, nullptr);
    }
    void TearDown() override {
        if (lib_ != nullptr) ::dlclose(lib_);
        ::unsetenv("KVP_PROGRAM_DIR");
    }

    void load_as(const char* locale) {
        ::setenv("LC_ALL", locale, 1);
        ASSERT_EQ(table_->load(L"lumoraui.osd"), 1);
    }

    void* lib_ = nullptr;
    const OvlLangTable* table_ = nullptr;
};

TEST(PluginExports, OnlyGetInterfaceIsExported) {
    const auto r =
        kvp_test::run_command("nm -D --defined-only " KVP_BIN_DIR "/ovlplug.so | awk '{print $3}'");
    ASSERT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "GetInterface\n");
}

TEST_F(PluginTest, ShippedTextsCoverEveryNumberTheViewerUsesInAllThreeLanguages) {
    const struct {
        const char* locale;
        int language;
    } cases[] = {{"en_US.UTF-8", 9}, {"zh_CN.UTF-8", 4}, {"zh_TW.UTF-8", 31748}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locale);
        load_as(c.locale);
        EXPECT_EQ(table_->get_language_id(), c.language);
        for (int n = 0; n <= 66; ++n) {
            EXPECT_GT(std::wcslen(table_->get_text(n)), 0u) << "text " << n;
        }
        EXPECT_STREQ(table_->get_text(67), L"");
        EXPECT_STREQ(table_->get_text(51), L"help.pdf");
    }
    load_as("en_GB.UTF-8");
    EXPECT_STREQ(table_->get_text(20), L"Play");
    EXPECT_STREQ(table_->get_text(52), L"In sequence");
}

TEST_F(PluginTest, LoadingTwiceAndReloadingAfterUnloadWorks) {
    load_as("zh_CN.UTF-8");
    const std::wstring first = table_->get_text(20);
    load_as("zh_CN.UTF-8");
    EXPECT_EQ(first, table_->get_text(20));
    ::dlclose(lib_);
    lib_ = ::dlopen(KVP_BIN_DIR "/ovlplug.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib_, nullptr);
    auto get = reinterpret_cast<OvlGetInterfaceFn>(::dlsym(lib_, "GetInterface"));
    table_ = get(nullptr);
    load_as("en_US.UTF-8");
    EXPECT_STREQ(table_->get_text(21), L"Stop");
}

}  // namespace

#include "update/update_check.h"

#include <lua.hpp>

#include <cstdio>
#include <memory>

#include "platform/paths.h"

namespace update {
namespace {

struct LuaCloser {
    void operator()(lua_State* state) const { lua_close(state); }
};
using LuaState = std::unique_ptr<lua_State, LuaCloser>;

constexpr std::size_t kFailureMaxChars = 1024;

std::string pcall_failure(lua_State* L, int code) {
    const char* message = lua_tostring(L, -1);
    char text[kFailureMaxChars];
    std::snprintf(text, sizeof text, "pcall FAILED %s %d", message != nullptr ? message : "", code);
    return text;
}

std::string call_check_function(lua_State* L) {
    lua_getglobal(L, "CheckLastVersion");
    if (!lua_isfunction(L, -1)) return "";
    if (lua_pcall(L, 0, 1, 0) != 0) return "";
    std::size_t length = 0;
    const char* result = lua_isstring(L, -1) ? lua_tolstring(L, -1, &length) : nullptr;
    if (result == nullptr) return "";
    return std::string(result, length < kResultMaxBytes ? length : kResultMaxBytes);
}

}  // namespace

CheckResult check_for_update(const std::string& folder) {
    CheckResult result;
    LuaState state(luaL_newstate());
    if (!state) {
        result.failure = "pcall FAILED out of memory 0";
        return result;
    }
    lua_State* L = state.get();
    luaL_openlibs(L);
    lua_pushstring(L, folder.c_str());
    lua_setglobal(L, "PROGRAM_DIR");
    const std::string script = platform::join_path(folder, kCheckScriptName);
    int code = luaL_loadfile(L, script.c_str());
    if (code == 0) code = lua_pcall(L, 0, LUA_MULTRET, 0);
    if (code != 0) {
        result.failure = pcall_failure(L, code);
        return result;
    }
    lua_settop(L, 0);
    result.text = call_check_function(L);
    return result;
}

}  // namespace update

/* Public interface of the language plug-in ovlplug.so.
 *
 * The viewer loads the plug-in at run time by file name from its own folder,
 * looks up GetInterface and keeps the returned table for the whole run:
 *
 *     void* lib = dlopen("<program dir>/ovlplug.so", RTLD_NOW);
 *     auto get = (OvlGetInterfaceFn)dlsym(lib, "GetInterface");
 *     const OvlLangTable* t = get(key);        // key is not read
 *     t->load(L"lumoraui.osd");
 *     int language = t->get_language_id();      // 4, 31748, 9, ...
 *     const wchar_t* text = t->get_text(19);
 *
 * Thread-safety: unsafe; the table is meant for the viewer's UI thread. A
 * text pointer stays valid until the next load.
 */
#ifndef OVLPLUG_H
#define OVLPLUG_H

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(OVLPLUG_BUILDING)
#define OVLPLUG_EXPORT __attribute__((visibility("default")))
#else
#define OVLPLUG_EXPORT
#endif

/* Windows language identifiers the data file is written for. */
enum {
    OVL_LANG_CHINESE_SIMPLIFIED = 4,
    OVL_LANG_ENGLISH = 9,
    OVL_LANG_CHINESE_TRADITIONAL = 31748 /* 0x7C04 */
};

typedef struct OvlLangTable {
    /* Loads the settings file: a bare file name is looked up in the folder
     * of the running program. Always returns 1. */
    int (*load)(const wchar_t* file_name);
    /* The text with that number, or "" for a number outside the table. */
    const wchar_t* (*get_text)(int index);
    /* The Windows language id in effect after load. */
    int (*get_language_id)(void);
} OvlLangTable;

/* `key` is accepted for compatibility and never read. */
OVLPLUG_EXPORT const OvlLangTable* GetInterface(const char* key);

typedef const OvlLangTable* (*OvlGetInterfaceFn)(const char* key);

#ifdef __cplusplus
}
#endif

#endif /* OVLPLUG_H */

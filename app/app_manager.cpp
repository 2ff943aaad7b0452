// The application manager. The registry supports stacked applications
// (levels, parents and children); every application here has level 0, so a
// switch stops the current one and starts the target.
#include "app/app_manager.h"

#include <cstdio>

AppEntry **apps = nullptr;
int app_max = 0;
int app_num = 0;
std::atomic<int> app_cur{0};

int APP_MAIN = -1;
int APP_FW_UPDATE = -1;
int APP_SETTING_UPDATE = -1;
int APP_USB_MSC = -1;
int APP_RECMODE1 = -1;
int APP_RECMODE2 = -1;
int APP_PHOMODE = -1;
int APP_POWER_ON = -1;
int APP_FORMAT_CARD = -1;

namespace {

bool valid(int id)
{
    if (id >= 0 && id < app_num)
        return true;
    printf("Fatal Error! Invalid app id: app_id = %d / app_num = %d\n", id, app_num);
    return false;
}

AppEntry &entry(int id) { return *apps[id]; }

void run(int (*op)(void))
{
    if (op)
        op();
}

// The first application from the main one up the child links with `flag`.
int find_flag(uint32_t flag)
{
    if (app_num == 0)
        return 0;
    uint32_t id = 0;
    // A stack is at most every application deep; a broken link can't loop.
    for (int steps = 0; steps <= app_num && (int)id < app_num; steps++) {
        if (entry(id).flags & flag)
            return (int)id;
        id = entry(id).child;
        if (id == 0)
            break;
    }
    return 0;
}

// Pops applications off the stack down to the level of `t`; 1 when one of
// them had replaced its parent, else 0; -1 for an invalid id.
int shrink(int t)
{
    if (!valid(t))
        return -1;
    int replaced = 0;
    while (entry(app_cur).level > entry(t).level) {
        AppEntry &old = entry(app_cur);
        old.flags &= ~(APP_FLAG_RUNNING | APP_FLAG_IDLE);
        app_cur = (int)old.parent;
        entry(app_cur).child = 0;
        old.parent = 0;
        old.previous = 0;
        run(old.stop);
        if (old.flags & APP_FLAG_REPLACE_PARENT)
            replaced = 1;
    }
    return replaced;
}

// Same level only: stop the current application, start the target.
int switch_to(int t)
{
    if (!valid(t))
        return -1;
    AppEntry &old = entry(app_cur), &target = entry(t);
    if (old.level != target.level)
        return 0;
    old.flags &= ~(APP_FLAG_RUNNING | APP_FLAG_IDLE);
    AppEntry &parent = entry((int)old.parent);
    app_cur = t;
    parent.child = (uint32_t)t;
    target.parent = old.parent;
    target.previous = old.id;
    old.parent = 0;
    old.previous = 0;
    run(old.stop);
    bool old_replaces = old.flags & APP_FLAG_REPLACE_PARENT, new_replaces = target.flags & APP_FLAG_REPLACE_PARENT;
    if (!old_replaces && new_replaces)
        run(parent.stop);
    if (old_replaces && !new_replaces)
        run(parent.start);
    run(target.start);
    return 0;
}

} // namespace

int appmgt_init(AppEntry **table, int max)
{
    apps = table;
    app_max = max;
    app_num = 0;
    app_cur = 0;
    return 0;
}

int appmgt_register(AppEntry *e)
{
    if (!e || app_num >= app_max) {
        puts("Fatal Error! No space for more apps ");
        return -1;
    }
    e->id = (uint32_t)app_num;
    apps[app_num] = e;
    return app_num++;
}

int appmgt_get_app(int id, AppEntry **e)
{
    if (id < 0 || id >= app_num) {
        if (e)
            *e = nullptr;
        return -1;
    }
    if (e)
        *e = apps[id];
    return 0;
}

int appmgt_get_curapp(AppEntry **e)
{
    const int cur = app_cur;
    if (e)
        *e = cur < app_num ? apps[cur] : nullptr;
    return cur;
}

int appmgt_switch_to_app(int t)
{
    if (!valid(t))
        return -1;
    if (t == app_cur)
        return 0;
    AppEntry &cur = entry(app_cur), &target = entry(t);
    if (target.level > cur.level) {
        // Push: the target stacks on the current application.
        int old = app_cur;
        target.parent = (uint32_t)old;
        cur.child = (uint32_t)t;
        app_cur = t;
        if (target.flags & APP_FLAG_REPLACE_PARENT) {
            printf("appmgt_switch_to_app app_cur = %d\n", app_cur.load());
            run(entry(old).stop);
        }
        run(target.start);
    } else if (!(target.flags & 0x2)) {
        if (!is_idle()) {
            puts("Stop running application first!");
            return -1;
        }
        if (target.level != cur.level && shrink(t) < 0)
            return -1;
        switch_to(t);
    } else {
        if (shrink(t) == 1) {
            printf("appmgt_switch_to_app app_cur = %d\n", app_cur.load());
            run(entry(app_cur).start);
        }
    }
    if (app_cur != t) {
        puts("Fatal Error! App switching flow error");
        return -1;
    }
    return 0;
}

int is_busy(void) { return find_flag(APP_FLAG_BUSY); }
int is_io(void) { return find_flag(APP_FLAG_IO); }

int is_idle(void)
{
    if (app_num == 0 || !(entry(app_cur).flags & APP_FLAG_IDLE))
        return 0;
    return !is_busy() && !is_io();
}

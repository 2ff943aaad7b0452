#include "app/pref.h"

#include <cstring>

DvSystemParam *app_pref_user = nullptr;

int32_t pref_get_word(const DvSystemParam *p, int word)
{
    int32_t v = 0;
    if (p && word >= 0 && word < (int)(DV_SYSTEM_PARAM_SIZE / 4))
        memcpy(&v, reinterpret_cast<const char *>(p) + word * 4, 4);
    return v;
}

void pref_set_word(DvSystemParam *p, int word, int32_t value)
{
    if (p && word >= 0 && word < (int)(DV_SYSTEM_PARAM_SIZE / 4))
        memcpy(reinterpret_cast<char *>(p) + word * 4, &value, 4);
}

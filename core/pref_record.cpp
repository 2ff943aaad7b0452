// The preferences record and its access by word number.
#include "core/pref_record.h"

#include <cstring>

DvSystemParam *app_pref_user = nullptr;

namespace {

constexpr int kRecordWords = (int)(DV_SYSTEM_PARAM_SIZE / 4);

} // namespace

int32_t pref_get_word(const DvSystemParam *p, int word)
{
    int32_t v = 0;
    if (p && word >= 0 && word < kRecordWords)
        memcpy(&v, reinterpret_cast<const char *>(p) + word * 4, sizeof v);
    return v;
}

void pref_set_word(DvSystemParam *p, int word, int32_t value)
{
    if (p && word >= 0 && word < kRecordWords)
        memcpy(reinterpret_cast<char *>(p) + word * 4, &value, sizeof value);
}

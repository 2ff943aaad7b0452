// Recording files on the card: names, the boot scan, the index files and the
// room for the next file.
#include "recorder/rec_files.h"

#include "board/board.h"
#include "core/kx_thread.h"
#include "core/rec_state.h"
#include "recorder/mp4/mp4_backup.h"
#include "recorder/mp4/mp4_writer.h"

#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <map>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

char test_hname[8] = "9999999";
char test_tname[8] = "0000000";
char test_pho_dir_tname[6] = "KR100";
char test_pho_tname[4] = "000";
uint8_t u8FileHeadNameIsChange = 0;
KX_REC_STATE_S gRecState;

namespace {

const char kCardDir[] = "/mnt/sdcard0/";
const char kMovieDir[] = "/mnt/sdcard0/MOVIE";
const char kAlarmDir[] = "/mnt/sdcard0/ALARM"; // locked movies
const char kPhotoDir[] = "/mnt/sdcard0/PHOTO";
const char kPrefix[] = "KORVAN";
constexpr size_t kPrefixLen = sizeof kPrefix - 1;
const char kDfFile[] = "/mnt/diskused.bat";
const char kCardDevice[] = "/dev/mmcblk0p1";

constexpr size_t kMovieNameLen = 17; // KORVAN + 7 digits + .mp4
constexpr long kMovieNumbers = 9999999;
constexpr size_t kPhotoNameLen = 13; // KORVAN + 3 digits + .jpg
constexpr size_t kIndexLineMax = 127;
constexpr size_t kDfLineMax = 255;
constexpr uint64_t kMovieReserveKiB = 153600;
constexpr uint64_t kPhotoReserveKiB = 20480;
constexpr uint64_t kAlarmKiBPerMinute = 51200;

// The name state is shared by the scan thread and the name requests; a
// request waits until a scan that was started has finished.
std::mutex g_names_lock;
std::condition_variable g_scan_done;
bool g_scan_pending = false;

bool all_digits(const char *s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return true;
}

// Adds one to a run of decimal digits in place; false when it ran over (all
// nines, now all zeros).
bool increment_digits(char *s, size_t n)
{
    for (size_t i = n; i-- > 0;) {
        if (s[i] != '9') {
            ++s[i];
            return true;
        }
        s[i] = '0';
    }
    return false;
}

// The number of a file name of `total` characters: KORVAN, then `digits`
// decimal digits (copied to `number` with a terminator), then its extension.
bool file_number(const char *name, size_t length, size_t total, size_t digits, char *number)
{
    if (!name || length != total || strnlen(name, length + 1) != length ||
        strncmp(name, kPrefix, kPrefixLen) != 0 || !all_digits(name + kPrefixLen, digits))
        return false;
    memcpy(number, name + kPrefixLen, digits);
    number[digits] = '\0';
    return true;
}

bool dir_readable(const char *path)
{
    DIR *d = opendir(bd_path(path).c_str());
    if (!d)
        return false;
    closedir(d);
    return true;
}

bool make_dir(const char *path) { return mkdir(bd_path(path).c_str(), 0775) == 0; }

// Names of the folders (or of everything else) in a firmware folder.
bool list_dir(const std::string &dir, bool folders, std::vector<std::string> &names)
{
    std::string host = bd_path(dir);
    DIR *d = opendir(host.c_str());
    if (!d)
        return false;
    while (struct dirent *e = readdir(d)) {
        struct stat st;
        if (stat((host + "/" + e->d_name).c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode) == folders)
            names.push_back(e->d_name);
    }
    closedir(d);
    return true;
}

// Compares the last three characters with an extension, letters in either case.
bool has_extension(const std::string &name, const char *ext3)
{
    if (name.size() < 3)
        return false;
    const char *tail = name.c_str() + name.size() - 3;
    for (int i = 0; i < 3; ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
        if (c != ext3[i])
            return false;
    }
    return true;
}

// Calls fn for every line of at most `max` characters; a longer line is
// passed over whole, so its tail is never taken for a line of its own.
template <class Fn> void for_each_line(FILE *f, size_t max, Fn fn)
{
    std::vector<char> buf(max + 2);
    while (fgets(buf.data(), (int)buf.size(), f)) {
        size_t len = strlen(buf.data());
        bool ended = len > 0 && buf[len - 1] == '\n';
        if (!ended && !feof(f)) {
            int c;
            while ((c = fgetc(f)) != EOF && c != '\n')
                ;
            continue;
        }
        fn(buf.data());
    }
}

std::vector<std::string> split_words(const char *line)
{
    std::vector<std::string> words;
    const char *p = line;
    while (*p) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')
            ++p;
        const char *start = p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            ++p;
        if (p > start)
            words.emplace_back(start, p);
    }
    return words;
}

// A whole decimal word within [min, max].
bool parse_decimal(const std::string &word, long long min, long long max, long long &value)
{
    if (word.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    long long v = strtoll(word.c_str(), &end, 10);
    if (errno || *end || v < min || v > max)
        return false;
    value = v;
    return true;
}

enum class Measure { ok, no_card_line, failed };

// Available KiB of the card from `df`.
Measure measure_free_kib(uint64_t &kib)
{
    if (!dir_readable(kCardDir)) {
        perror("open /mnt/sdcard0");
        return Measure::failed;
    }
    if (bd_system("df -a > /mnt/diskused.bat") != 0) {
        printf("get Disk used info error.......\n");
        return Measure::failed;
    }
    FILE *f = fopen(bd_path(kDfFile).c_str(), "r");
    if (!f) {
        perror("open /mnt/diskused.bat");
        return Measure::failed;
    }
    Measure result = Measure::no_card_line;
    for_each_line(f, kDfLineMax, [&](const char *line) {
        if (result != Measure::no_card_line)
            return;
        std::vector<std::string> w = split_words(line);
        if (w.empty() || w[0].compare(0, sizeof kCardDevice - 1, kCardDevice) != 0)
            return;
        // file system, size, used, available, use, mount point
        long long avail;
        if (w.size() >= 4 && parse_decimal(w[3], 0, LLONG_MAX, avail)) {
            kib = (uint64_t)avail;
            result = Measure::ok;
        } else {
            result = Measure::failed;
        }
    });
    fclose(f);
    return result;
}

std::string movie_path(const char *number)
{
    char path[KX_REC_FILENAME_SIZE];
    snprintf(path, sizeof path, "%s/%s%s%s", kMovieDir, kPrefix, number, ".mp4");
    return path;
}

bool file_exists(const std::string &path)
{
    struct stat st;
    return stat(bd_path(path).c_str(), &st) == 0;
}

bool valid_number7(const char *s) { return strnlen(s, 8) == 7 && all_digits(s, 7); }

// Loop recording: deletes movies from the oldest on until `need` KiB are
// free. False when the newest is reached first or the space can't be measured.
bool free_oldest(char *head, const char *tail, uint64_t need, uint64_t space)
{
    // Two valid numbers: the head reaches the tail within one round.
    if (!valid_number7(head) || !valid_number7(tail))
        return false;
    do {
        if (strcmp(head, tail) == 0)
            return false;
        std::string path = movie_path(head);
        if (file_exists(path)) {
            if (bd_remove(path.c_str()) == 0) {
                printf("%s in remove ok\n", path.c_str());
                if (measure_free_kib(space) != Measure::ok) {
                    printf("KX_RecordCtr_CalculDiskSpace error\n");
                    return false;
                }
            } else {
                printf("%s in remove erro\n", path.c_str());
            }
        }
        KX_RecordCtr_CalculateName(head);
    } while (!(space > need));
    return true;
}

// A movie of that number is on the card already: in MOVIE, or locked into ALARM.
bool movie_taken(const char *number)
{
    std::string locked = std::string(kAlarmDir) + movie_path(number).substr(sizeof kMovieDir - 1);
    return file_exists(movie_path(number)) || file_exists(locked);
}

// The next number after `tail` that no movie has (numbers go round after
// 9999999, and old movies may still hold the next ones): a new movie never
// takes the name of one that is there.
int next_movie(char *tail, char *name)
{
    char next[8];
    memcpy(next, tail, sizeof next);
    next[7] = '\0';
    for (long tries = 0; tries < kMovieNumbers; tries++) {
        if (!KX_RecordCtr_CalculateName(next))
            return 0;
        if (!movie_taken(next)) {
            if (tries > 0)
                printf("------%ld movie numbers after %s are taken\n", tries, tail);
            memcpy(tail, next, sizeof next);
            snprintf(name, KX_REC_FILENAME_SIZE, "%s", movie_path(tail).c_str());
            return 1;
        }
    }
    printf("======every movie number is taken\n");
    return 0;
}

// The next photo name that no file has; the numbers only go forward, to
// the last folder.
int next_photo(char *name)
{
    char next[4];
    memcpy(next, test_pho_tname, sizeof next);
    next[3] = '\0';
    do {
        if (!KX_PhotoCtr_CalculateName(next)) {
            printf("KX_PhotoCtr_CalculateName : 0\n");
            return 0;
        }
        memcpy(test_pho_tname, next, sizeof next);
        snprintf(name, KX_REC_FILENAME_SIZE, "%s/%s/%s%s%s", kPhotoDir, test_pho_dir_tname, kPrefix, test_pho_tname,
                 ".jpg");
    } while (file_exists(name));
    return 1;
}

// A locked movie's name, KORVAN and seven digits, then anything (a "_N"
// that a clash once added) and the extension mp4: the number raises the
// newest number; the oldest stays with MOVIE, where loop recording deletes.
void raise_tail_to(const std::string &name)
{
    char number[8];
    const size_t numbered = kPrefixLen + 7;
    if (name.size() < numbered + 4 || !has_extension(name, "mp4") ||
        !file_number(name.substr(0, numbered).c_str(), numbered, numbered, 7, number))
        return;
    if (strcmp(number, test_tname) > 0)
        strcpy(test_tname, number);
}

// The last photo folder and its last number, raised to what the card
// holds (KR100 made on a card without one); false when a folder can't be read.
bool scan_photos()
{
    std::vector<std::string> names;
    u8FileHeadNameIsChange = 0;
    if (!list_dir(kPhotoDir, true, names)) {
        fprintf(stderr, "cannot open directory: %s\n", kPhotoDir);
        return false;
    }
    for (auto &n : names)
        Set_PhotoDirTName(n.c_str());

    if (u8FileHeadNameIsChange) {
        std::string folder = std::string(kPhotoDir) + "/" + test_pho_dir_tname;
        names.clear();
        if (!list_dir(folder, false, names)) {
            fprintf(stderr, "cannot open directory: %s\n", folder.c_str());
            return false;
        }
        for (auto &n : names)
            if (n.compare(0, kPrefixLen, kPrefix) == 0 && has_extension(n, "jpg"))
                Set_PhotoTName(n.c_str(), n.size());
    } else {
        std::string folder = std::string(kPhotoDir) + "/KR100";
        puts(make_dir(folder.c_str()) ? "make dir ok" : "make dir fail");
    }
    return true;
}

void scan_card()
{
    std::vector<std::string> names;
    u8FileHeadNameIsChange = 0; // a photo scan before this one may have left it set
    if (!list_dir(kMovieDir, false, names)) {
        fprintf(stderr, "cannot open directory: %s\n", kMovieDir);
        return;
    }
    for (auto &n : names)
        if (n.compare(0, kPrefixLen, kPrefix) == 0 && has_extension(n, "mp4"))
            Set_HTName_File(n.c_str(), n.size());
    if (!u8FileHeadNameIsChange)
        strcpy(test_hname, "0000000");
    // Locked movies keep their numbers in ALARM: new names follow them too,
    // or a recording would take the name of a locked one.
    names.clear();
    if (list_dir(kAlarmDir, false, names))
        for (auto &n : names)
            raise_tail_to(n);

    if (!scan_photos())
        return;
    printf("h:%s t:%s pd:%s pt:%s\n", test_hname, test_tname, test_pho_dir_tname, test_pho_tname);
}

// The index file of each kind and the slots its head and tail go into.
struct IndexFile {
    int type;
    const char *path;
    int head_slot;
};
const IndexFile kIndexFiles[] = {
    {KX_REC_TYPE_MOVIE, "/mnt/manualrec.dat", REC_SLOT_MANUAL_HEAD},
    {KX_REC_TYPE_ALARM, "/mnt/alarmrec.dat", REC_SLOT_ALARM_HEAD},
    {KX_REC_TYPE_PHOTO, "/mnt/picrec.dat", REC_SLOT_PHOTO_HEAD},
};

void clear_slots(int head_slot)
{
    std::lock_guard<std::mutex> lock(g_names_lock);
    memset(gRecState.aszSlot[head_slot], 0, sizeof gRecState.aszSlot[head_slot]);
    memset(gRecState.aszSlot[head_slot + 1], 0, sizeof gRecState.aszSlot[head_slot + 1]);
}

// Creates a card folder unless it is there; a failure clears the kind's slots.
void ensure_folder(const char *path, int head_slot)
{
    if (!dir_readable(path) && !make_dir(path))
        clear_slots(head_slot);
}

bool remove_file(const std::string &path) { return bd_remove(path.c_str()) == 0; }

// The movie of an index in `dir`: beside it, or locked into ALARM while it
// was written (the movie went, its index stayed in MOVIE).
std::string movie_of(const std::string &dir, const std::string &name)
{
    const std::string movie = dir + "/" + name, locked = std::string(kAlarmDir) + "/" + name;
    return !file_exists(movie) && dir == kMovieDir && file_exists(locked) ? locked : movie;
}

// A new index that a cut left under its temporary name `temp_name` in
// `dir`, of the movie named `name`. Whole (its check verified, its payload
// within the movie) and newer than the index, it was cut off only before
// its rename: it takes the index's place (or, where it cannot, stays for a
// later boot). Else it goes. True when it made an index where none was.
bool settle_new_index(const std::string &dir, const std::string &temp_name, const std::string &name)
{
    const std::string temp = dir + "/" + temp_name, index = dir + "/" + mp4::backup_of_temp(temp_name);
    const std::string movie = movie_of(dir, name);
    const int64_t fresh = mp4_index_payload(movie.c_str(), temp.c_str(), true);
    const bool had_index = file_exists(index);
    const int64_t held = had_index ? mp4_index_payload(movie.c_str(), index.c_str(), false) : -1;
    const char *why = "an index cut off while written";
    if (fresh >= 0 && fresh <= held) {
        why = "no newer than its index";
    } else if (fresh >= 0) {
        if (bd_rename(temp.c_str(), index.c_str()) == 0) {
            printf("------%s: a whole index cut off before its rename, takes the place of %s\n", temp.c_str(),
                   index.c_str());
            return !had_index;
        }
        printf("======%s cannot take the place of %s (%s): kept\n", temp.c_str(), index.c_str(), strerror(errno));
        return false;
    }
    if (remove_file(temp))
        printf("------%s: %s, removed\n", temp.c_str(), why);
    return false;
}

// One backup index found in `dir`, of the movie named `name`; true when the
// movie was finished. What is left unfinished is said afterwards, once for
// each movie (say_unfinished).
bool repair_one(const std::string &dir, const std::string &index_name, const std::string &name)
{
    std::string index = dir + "/" + index_name;
    std::string movie = movie_of(dir, name);
    if (movie != dir + "/" + name) {
        std::string moved = std::string(kAlarmDir) + "/" + index_name;
        if (bd_rename(index.c_str(), moved.c_str()) == 0)
            index = moved;
        else
            movie = dir + "/" + name;
    }
    if (!file_exists(movie)) {
        printf("------%s has no movie: removed\n", index.c_str());
        remove_file(index);
        return false;
    }
    if (mp4_file_finished(movie.c_str())) {
        printf("------%s is finished: its index %s removed\n", movie.c_str(), index.c_str());
        remove_file(index);
        return false;
    }
    if (MP4_CheckFileIntegrity(movie.c_str()) != 0)
        return false;
    printf("------repair %s\n", movie.c_str());
    // A failed write keeps both for the next boot; a refused index is gone.
    return MP4_ReparieFile(movie.c_str()) == 0;
}

// A movie the boot found unfinished (by an index or a new one beside it)
// and did not finish: kept for a computer to salvage, and said so, unless it
// holds nothing. An index still beside it (`index_stays`: a new one kept) is
// tried again at the next boot.
void say_unfinished(const std::string &movie, bool index_stays)
{
    if (!file_exists(movie) || mp4_file_finished(movie.c_str()))
        return;
    if (index_stays || !mp4::find_backup(movie).empty())
        printf("======%s: its index could not finish it at this boot; kept as it is for a computer to salvage, "
               "its index for the next boot\n",
               movie.c_str());
    else if (mp4_file_holds_data(movie.c_str()))
        printf("======%s: no index can finish it; kept as it is for a computer to salvage\n", movie.c_str());
    else if (remove_file(movie))
        printf("------%s holds nothing to repair: removed\n", movie.c_str());
}

} // namespace

int rec_files_repair_unfinished(void)
{
    int repaired = 0;
    for (const char *dir : {kMovieDir, kAlarmDir}) {
        std::vector<std::string> names;
        if (!list_dir(dir, false, names))
            continue;
        // The new indexes a cut left are settled first: one may be the
        // index that finishes its movie.
        std::string movie;
        // The movies an index or a new one points at; true where a new one
        // stays for a later boot.
        std::map<std::string, bool> found;
        for (size_t i = 0, listed = names.size(); i < listed; i++) {
            if (mp4::backup_file_kind(names[i], movie) != mp4::BackupFile::unfinished)
                continue;
            bool &kept = found[movie_of(dir, movie)];
            if (settle_new_index(dir, names[i], movie))
                names.push_back(mp4::backup_of_temp(names[i]));
            kept = kept || file_exists(std::string(dir) + "/" + names[i]);
        }
        for (const std::string &n : names)
            if (mp4::backup_file_kind(n, movie) == mp4::BackupFile::index) {
                found.emplace(movie_of(dir, movie), false);
                repaired += repair_one(dir, n, movie) ? 1 : 0;
            }
        for (const auto &m : found)
            say_unfinished(m.first, m.second);
    }
    if (repaired)
        bd_sync();
    fflush(stdout); // what was kept and why reaches its reader before recording starts
    return repaired;
}

int rec_files_next_free_photo(char *name, size_t size)
{
    if (!name || size < KX_REC_FILENAME_SIZE)
        return 0;
    std::lock_guard<std::mutex> lock(g_names_lock);
    return scan_photos() && next_photo(name) ? 1 : 0;
}

int KX_RecordCtr_InitAllfileName()
{
    if (!dir_readable(kCardDir)) {
        perror("open /mnt/sdcard0");
        return 255;
    }
    ensure_folder("/mnt/sdcard0/MOVIE/", REC_SLOT_MANUAL_HEAD);
    KX_RecordCtr_InitRecfilename(KX_REC_TYPE_MOVIE);
    ensure_folder("/mnt/sdcard0/PHOTO/", REC_SLOT_PHOTO_HEAD);
    KX_RecordCtr_InitRecfilename(KX_REC_TYPE_PHOTO);
    return 1;
}

int KX_RecordCtr_InitRecfilename(int type)
{
    const IndexFile *index = nullptr;
    for (auto &i : kIndexFiles)
        if (i.type == type)
            index = &i;
    if (!index)
        return 255;
    FILE *f = fopen(bd_path(index->path).c_str(), "r");
    if (!f)
        return 255;
    std::lock_guard<std::mutex> lock(g_names_lock);
    for_each_line(f, kIndexLineMax, [&](const char *line) {
        std::vector<std::string> w = split_words(line);
        long long code;
        if (w.size() < 2 || !parse_decimal(w[0], INT_MIN, INT_MAX, code))
            return;
        const std::string &name = w[1];
        if (name.size() >= sizeof gRecState.aszSlot[0])
            return;
        // Low nibble: record entry 0 or 1; high nibble 5 head, 0xA tail.
        unsigned sel = (unsigned)code & 0xFF;
        if ((sel & 0x0F) > 1)
            return;
        int slot;
        if ((sel >> 4) == 0x5)
            slot = index->head_slot;
        else if ((sel >> 4) == 0xA)
            slot = index->head_slot + 1;
        else
            return;
        snprintf(gRecState.aszSlot[slot], sizeof gRecState.aszSlot[slot], "%s", name.c_str());
    });
    fclose(f);
    return 0;
}

void *Get_File_Thread_Test(void *)
{
    {
        std::lock_guard<std::mutex> lock(g_names_lock);
        scan_card();
        g_scan_pending = false;
    }
    g_scan_done.notify_all();
    return nullptr;
}

int File_Get_Name_Thread()
{
    {
        std::lock_guard<std::mutex> lock(g_names_lock);
        g_scan_pending = true;
    }
    pthread_t thread;
    int ret = KX_THCreate_API(&thread, nullptr, Get_File_Thread_Test, nullptr);
    if (ret != 0) {
        errno = ret;
        perror("create record contorl");
        {
            std::lock_guard<std::mutex> lock(g_names_lock);
            g_scan_pending = false;
        }
        g_scan_done.notify_all();
        return ret;
    }
    // Nobody waits for the scan by joining it.
    pthread_detach(thread);
    return 0;
}

long long KX_RecordCtr_CalculDiskSpace()
{
    uint64_t kib = 0;
    switch (measure_free_kib(kib)) {
    case Measure::ok:
        return kib > (uint64_t)LLONG_MAX ? LLONG_MAX : (long long)kib;
    case Measure::no_card_line:
        return 0;
    default:
        return -1;
    }
}

int KX_RecordCtr_Getfilename(char *name, size_t size, uint8_t entry, uint8_t type, uint32_t minutes,
                             uint32_t bitRate)
{
    if (!name || size < KX_REC_FILENAME_SIZE || entry >= KX_REC_ENTRY_NUM)
        return 0;
    if (type != KX_REC_TYPE_MOVIE && type != KX_REC_TYPE_ALARM && type != KX_REC_TYPE_PHOTO)
        return 0;

    std::unique_lock<std::mutex> lock(g_names_lock);
    g_scan_done.wait(lock, [] { return !g_scan_pending; });

    uint8_t loop = gRecCmd[entry].bCycleMode;
    if (entry == KX_REC_ENTRY_PHOTO)
        gRecState.au8State[3] = loop;
    // A card that cannot be measured is not a full card: nothing is deleted.
    uint64_t space = 0;
    if (measure_free_kib(space) != Measure::ok) {
        printf("KX_RecordCtr_CalculDiskSpace error\n");
        return 0;
    }

    // A movie folder taken away since the boot (on a computer) is made
    // again; one that can't be made fails the file's creation, visibly.
    if (type != KX_REC_TYPE_PHOTO && !dir_readable(kMovieDir) && !make_dir(kMovieDir))
        printf("======cannot make %s: %s\n", kMovieDir, strerror(errno));

    char *head = test_hname, *tail = test_tname;
    uint64_t need;
    if (type == KX_REC_TYPE_MOVIE) {
        // One file's worth of video (bitRate >> 13 is KiB/s) on top of the reserve.
        need = loop ? (uint64_t)(bitRate >> 13) * minutes * 60 + kMovieReserveKiB : kMovieReserveKiB;
        printf("max leave space : 0x%llx current space:0x%llx\n", (unsigned long long)need,
               (unsigned long long)space);
    } else if (type == KX_REC_TYPE_ALARM) {
        need = kAlarmKiBPerMinute * minutes;
        head = gRecState.aszSlot[REC_SLOT_ALARM_HEAD];
        tail = gRecState.aszSlot[REC_SLOT_ALARM_TAIL];
    } else {
        need = kPhotoReserveKiB;
    }

    if (space > need)
        return type == KX_REC_TYPE_PHOTO ? next_photo(name) : next_movie(tail, name);
    if (type == KX_REC_TYPE_PHOTO) {
        printf("no enough space !!!\n");
        return 0;
    }
    printf("bSpace = %d,p->bCycleMode = %d\n", 0, loop);
    if (!loop || !free_oldest(head, tail, need, space))
        return 0;
    return next_movie(tail, name);
}

int KX_RecordCtr_CalculateName(char *number7)
{
    if (!valid_number7(number7)) {
        printf("name is not in system %s\n", number7);
        strcpy(number7, "0000001");
        return 0;
    }
    if (!increment_digits(number7, 7))
        strcpy(number7, "0000001");
    return 1;
}

int KX_PhotoDirCtr_CalculateName(char *folder5)
{
    if (strcmp(folder5, "KR199") == 0)
        return 0;
    if (strnlen(folder5, 6) != 5 || strncmp(folder5, "KR1", 3) != 0 || !all_digits(folder5 + 3, 2)) {
        printf("dir is not in system %s\n", folder5);
        strcpy(folder5, "KR100");
        return 0;
    }
    increment_digits(folder5 + 3, 2); // below 99: KR199 has no successor
    std::string path = std::string(kPhotoDir) + "/" + folder5;
    if (!make_dir(path.c_str())) {
        printf(" mkdir fail \n");
        return 0;
    }
    memcpy(test_pho_dir_tname, folder5, sizeof test_pho_dir_tname);
    return 1;
}

int KX_PhotoCtr_CalculateName(char *number3)
{
    if (strcmp(number3, "999") == 0) {
        char folder[6];
        memcpy(folder, test_pho_dir_tname, sizeof folder);
        folder[5] = '\0';
        if (!KX_PhotoDirCtr_CalculateName(folder)) {
            printf("KX_PhotoDirCtr_CalculateName : 0 \n");
            return 0;
        }
        strcpy(number3, "000");
    }
    if (strnlen(number3, 4) != 3 || !all_digits(number3, 3)) {
        printf("Photo name is not in system %s\n", number3);
        strcpy(number3, "001");
        return 0;
    }
    increment_digits(number3, 3); // below 999: that one moved to the next folder
    return 1;
}

int Set_HTName_File(const char *name, size_t length)
{
    char number[8];
    if (!file_number(name, length, kMovieNameLen, 7, number))
        return 0;
    if (strcmp(number, test_hname) < 0)
        strcpy(test_hname, number);
    if (strcmp(number, test_tname) > 0)
        strcpy(test_tname, number);
    // Any movie found counts, also one numbered 9999999.
    u8FileHeadNameIsChange = 1;
    return 1;
}

int Set_PhotoDirTName(const char *name)
{
    if (!name || strnlen(name, 6) != 5 || strncmp(name, "KR1", 3) != 0 || !all_digits(name + 3, 2))
        return 0;
    u8FileHeadNameIsChange = 1;
    if (strcmp(name, test_pho_dir_tname) > 0)
        memcpy(test_pho_dir_tname, name, sizeof test_pho_dir_tname);
    return 1;
}

int Set_PhotoTName(const char *name, size_t length)
{
    char number[4];
    if (!file_number(name, length, kPhotoNameLen, 3, number))
        return 0;
    u8FileHeadNameIsChange = 1;
    if (strcmp(number, test_pho_tname) > 0)
        memcpy(test_pho_tname, number, sizeof test_pho_tname);
    return 1;
}

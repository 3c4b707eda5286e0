// The engine's line decoder: kinds and counts of the listing, and the MVS
// member lists that give several entries per line.
#include "listing_test_util.h"
#include "lineutil.h"
#include "parselisting.h"

#include <stdlib.h>
#include <string>
#include <vector>

namespace {

// Stand-in for the engine's local-heap AppendEntry.
void HeapAppend(DirectoryListing *listing, const ListingEntry *entry)
{
    ListingEntry *copy = static_cast<ListingEntry *>(calloc(1, sizeof *copy));
    *copy = *entry;
    copy->owner = listing;
    ListingEntry **tail = &listing->firstEntry;
    while (*tail)
        tail = &(*tail)->next;
    *tail = copy;
}

struct Reader {
    DirectoryListing listing{};
    int32_t lineCount = 0;
    uint32_t parseFlags = 0;
    int hostType;

    explicit Reader(int type, const char *path = "") : hostType(type)
    {
        snprintf(listing.path, sizeof listing.path, "%s", path);
    }
    ~Reader() { Clear(); }
    // What the engine does with each line of a LIST reply.
    void Read(const std::vector<std::string> &lines)
    {
        for (const auto &line : lines) {
            ListingEntry entry;
            if (ParseListingLine(&lineCount, &parseFlags, hostType, "joe", &listing, &entry, line.c_str(),
                                 HeapAppend) > 0)
                HeapAppend(&listing, &entry);
        }
    }
    void Clear()
    {
        for (ListingEntry *e = listing.firstEntry; e;) {
            ListingEntry *next = e->next;
            free(e);
            e = next;
        }
        listing.firstEntry = nullptr;
        listing.fileCount = listing.dirCount = listing.linkCount = 0;
        lineCount = 0;  // a new LIST
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (ListingEntry *e = listing.firstEntry; e; e = e->next)
            names.push_back(e->name);
        return names;
    }
};

std::string MemberListHeader()
{
    return Cols({{0, "USER.SRC.LIB"}, {30, "3390"}, {44, "FB"}, {47, "80"}, {52, "27920"}, {61, "PO"}, {64, "NO"},
                 {69, "X"}});
}

}  // namespace

TEST(ParseListing, KindsFieldsAndCounts)
{
    TesselSetClockForTests(2024, 3);
    Reader r(6010);
    r.Read({"total 5", "drwxr-xr-x   2 joe  staff   512 Jan 12  2023 src/",
            "-rw-r--r--   1 joe  staff  1834 Mar  3 09:15 read me.txt",
            "lrwxrwxrwx   1 joe  staff    11 Feb 28 17:02 latest -> src"});
    TesselSetClockForTests(0, 0);
    EXPECT_EQ(r.lineCount, 4);
    EXPECT_EQ(r.listing.fileCount, 1);
    EXPECT_EQ(r.listing.dirCount, 1);
    EXPECT_EQ(r.listing.linkCount, 1);
    ASSERT_EQ(r.Names(), (std::vector<std::string>{"src", "read me.txt", "latest"}));
    const ListingEntry *dir = r.listing.firstEntry, *file = dir->next, *link = file->next;
    EXPECT_EQ(dir->kind, LISTING_DIR);
    EXPECT_EQ(file->kind, LISTING_FILE);
    EXPECT_EQ(link->kind, LISTING_LINK);
    EXPECT_EQ(file->owner, &r.listing);
    EXPECT_EQ(file->year, 2024u);
    EXPECT_EQ(file->month, 3u);
    EXPECT_EQ(file->day, 3u);
    EXPECT_EQ(file->hour, 9u);
    EXPECT_EQ(file->minute, 15u);
    EXPECT_EQ(file->size, 1834u);
    EXPECT_EQ(file->mode, 0644u);
    EXPECT_EQ(file->modeFlags, 1u);
    EXPECT_EQ(file->subdirectory, nullptr);

    ListingEntry entry;
    entry.kind = 99;
    EXPECT_EQ(ParseListingLine(nullptr, nullptr, 6010, nullptr, nullptr, &entry, "total 1", nullptr), 0);
    EXPECT_EQ(entry.kind, 0);  // zeroed even when the line is no entry
}

TEST(ParseListing, DirectoryOfTheListingReachesTheDecoder)
{
    Reader r(6012, "SYS$USER:[JOE]");
    r.Read({"SYS$USER:[JOE]LOGIN.COM;3   2/3  12-FEB-1999"});
    EXPECT_EQ(r.Names(), std::vector<std::string>{"LOGIN.COM;3"});
}

TEST(ParseListing, MvsDataSetsThenMemberList)
{
    Reader r(6018);
    r.Read({"Volume Unit    Referred Ext Used Recfm Lrecl BlkSz Dsorg Dsname",
            Cols({{0, "WYOSPT 3390"}, {14, "2003/03/18"}, {26, "2"}, {30, "15"}, {34, "FB"}, {41, "80"}, {46, "3120"},
                  {52, "PO"}, {56, "USER.SRC.LIB"}}),
            Cols({{0, "WYOSPT 3390"}, {14, "2003/03/18"}, {26, "2"}, {30, "15"}, {34, "FB"}, {41, "80"}, {46, "3120"},
                  {52, "PS"}, {56, "USER.JCL"}})});
    EXPECT_EQ(r.Names(), (std::vector<std::string>{"USER.SRC.LIB", "USER.JCL"}));
    EXPECT_EQ(r.listing.dirCount, 1);
    EXPECT_EQ(r.parseFlags & PARSE_MVS_MEMBERS, 0u);

    r.Clear();
    r.Read({MemberListHeader(), "MEMBER1   MEMBER2   MEM3      ABC", "PAYROLL1  X"});
    EXPECT_EQ(r.Names(), (std::vector<std::string>{"MEMBER1", "MEMBER2", "MEM3", "ABC", "PAYROLL1", "X"}));
    EXPECT_EQ(r.listing.fileCount, 6);
    EXPECT_EQ(r.lineCount, 3);
    EXPECT_NE(r.parseFlags & PARSE_MVS_MEMBERS, 0u);
    for (ListingEntry *e = r.listing.firstEntry; e; e = e->next) {
        EXPECT_EQ(e->kind, LISTING_FILE);
        EXPECT_EQ(e->year, 0u);
        EXPECT_EQ(e->owner, &r.listing);
    }

    // A slot that starts with a blank ends the line's members; a line that
    // does not look like member slots ends the member list.
    r.Clear();
    r.Read({MemberListHeader(), "AAA       BBB            CCC", " ABC", "DDD       EEE"});
    EXPECT_EQ(r.Names(), (std::vector<std::string>{"AAA", "BBB", "DDD"}));
    EXPECT_EQ(r.parseFlags & PARSE_MVS_MEMBERS, 0u);

    // The next listing starts without the member rule, whatever came before.
    r.Clear();
    r.Read({MemberListHeader()});
    r.Clear();
    r.Read({"ABC", "DDD       EEE"});
    EXPECT_EQ(r.Names(), (std::vector<std::string>{"ABC", "DDD"}));

    // Other host types never read member lists.
    Reader other(6010);
    other.Read({MemberListHeader(), "AAA       BBB"});
    EXPECT_EQ(other.parseFlags, 0u);
    // Neither line is an ls line: no entries (the last words used to be taken).
    EXPECT_EQ(other.Names(), (std::vector<std::string>{}));
}

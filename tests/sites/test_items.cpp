// Item identifiers: what counts as ours, and names read within their fields.
#include "shellitem.h"
#include "session.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<BYTE> Item(uint16_t kind, const void *payload, uint32_t size)
{
    std::vector<BYTE> v(size + ITEM_OVERHEAD + 2, 0xCC);
    uint32_t cb = TesselItemBuild(v.data(), kind, payload, size);
    v[cb] = v[cb + 1] = 0;
    return v;
}

} // namespace

TEST(Items, KindsSizesAndStamp)
{
    RemoteEntryRecord rec = {};
    rec.size = sizeof rec;
    strcpy(rec.find.cFileName, "file.txt");
    auto remote = Item(ITEM_REMOTE, &rec, sizeof rec);
    EXPECT_TRUE(TesselItemIsOurs(remote.data()));
    EXPECT_EQ(TesselItemRead(remote.data()).cb, 348);
    char name[300];
    TesselItemName(remote.data(), name, sizeof name);
    EXPECT_STREQ(name, "file.txt");
    // zero tail
    EXPECT_EQ(remote[344] | remote[345] | remote[346] | remote[347], 0);

    auto parent = Item(ITEM_PARENT, nullptr, 0);
    EXPECT_TRUE(TesselItemIsOurs(parent.data()));
    TesselItemName(parent.data(), name, sizeof name);
    EXPECT_STREQ(name, "..");

    auto label = Item(ITEM_ADDSITE, "Add Site", 9);
    EXPECT_TRUE(TesselItemIsOurs(label.data()));
    TesselItemName(label.data(), name, sizeof name);
    EXPECT_STREQ(name, "Add Site");
}

TEST(Items, ForeignAndShortItemsAreRefused)
{
    RemoteEntryRecord rec = {};
    auto remote = Item(ITEM_REMOTE, &rec, sizeof rec);
    // cb 20 with a remote kind: too short for its record.
    remote[0] = 20;
    remote[1] = 0;
    EXPECT_FALSE(TesselItemIsOurs(remote.data()));
    // Unknown kind, no kind, two kinds.
    for (uint16_t kind : {(uint16_t)0x0010, (uint16_t)0x0000, (uint16_t)(ITEM_SITE | ITEM_REMOTE)}) {
        auto v = Item(kind, &rec, sizeof rec);
        EXPECT_FALSE(TesselItemIsOurs(v.data())) << kind;
    }
    // No stamp.
    auto v = Item(ITEM_REMOTE, &rec, sizeof rec);
    v[4] = 0;
    EXPECT_FALSE(TesselItemIsOurs(v.data()));
    // cb below 12.
    BYTE tiny[16] = {6, 0, 4, 0, 0x0D, 0xF0, 0xBE, 0xBA};
    EXPECT_FALSE(TesselItemIsOurs(tiny));
    // An unterminated label is foreign.
    auto label = Item(ITEM_ADDSITE, "abc", 3);
    EXPECT_FALSE(TesselItemIsOurs(label.data()));
    EXPECT_FALSE(TesselItemIsOurs(nullptr));
}

TEST(Items, UnterminatedNamesAreReadWithinTheirField)
{
    RemoteEntryRecord rec = {};
    memset(rec.find.cFileName, 'n', sizeof rec.find.cFileName);
    rec.find.cAlternateFileName[0] = 'X';
    auto remote = Item(ITEM_REMOTE, &rec, sizeof rec);
    char name[1024];
    TesselItemName(remote.data(), name, sizeof name);
    EXPECT_EQ(strlen(name), (size_t)MAX_PATH);
    EXPECT_EQ(strchr(name, 'X'), nullptr);

    FTPSITEINFO site = {};
    site.size = sizeof site;
    memset(site.name, 's', sizeof site.name);
    strcpy(site.password, "secret");
    strcpy(site.fwPassword, "fwsecret");
    FTPSITEINFO payload;
    TesselSitePayload(&site, &payload);
    EXPECT_EQ(payload.password[0], 0);
    EXPECT_EQ(payload.fwPassword[0], 0);
    auto item = Item(ITEM_SITE, &payload, sizeof payload);
    EXPECT_TRUE(TesselItemIsOurs(item.data()));
    TesselItemName(item.data(), name, sizeof name);
    EXPECT_EQ(strlen(name), 256u);
}

TEST(Items, ListSizeStopsAtTheEndOrTheBound)
{
    auto parent = Item(ITEM_PARENT, nullptr, 0);
    EXPECT_EQ(ItemListSize(parent.data(), parent.size()), 14u);
    EXPECT_EQ(ItemListSize(parent.data(), 10), 0u);
}

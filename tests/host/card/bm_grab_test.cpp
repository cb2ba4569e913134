// The card back end: what a display mode detected on an open card does to
// the frame a handle has handed out.
#include <gtest/gtest.h>

#include <cstdint>

#include "hoxhost.h"

namespace {

// The object a handle reports detected modes to.
struct t_card_owner {
    t_object ob;
    long changed;
};
t_hox_err owner_format_changed(t_card_owner* x, long mode) {
    x->changed = mode;
    return HOX_ERR_NONE;
}

class CardBackEnd : public ::testing::Test {
protected:
    void SetUp() override {
        static const t_hox_card_mode modes[] = {{"Small", 4, 2}, {"Large", 64, 48}};
        static const t_hox_card card = {"Test Card", "BM-9", modes, 2};
        hox_host_set_cards(&card, 1);
        hox_host_cards_manual_clock(true);
        static t_class* c = [] {
            t_class* k = vor_class_new("card_test_owner", nullptr, nullptr, sizeof(t_card_owner), A_CANT, 0);
            vor_class_addmethod(k, HOXFN(owner_format_changed), "format_changed", A_CANT, 0);
            vor_class_register(k);
            return k;
        }();
        owner = static_cast<t_card_owner*>(vor_object_alloc(c));
        ASSERT_NE(owner, nullptr);
        owner->changed = -1;
        handle = bm_grab_new(owner);
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override {
        if (bitmap) vor_bitmap_free(bitmap);
        bm_grab_free(handle);
        vor_object_free(owner);
        hox_host_set_cards(nullptr, 0);
        hox_host_cards_manual_clock(false);
    }

    t_card_owner* owner = nullptr;
    t_bm_grab* handle = nullptr;
    t_vor_bitmap* bitmap = nullptr;
};

TEST_F(CardBackEnd, ADetectedModeHandsOutAFrameOfThatModeInPlaceOfTheOldOne) {
    ASSERT_EQ(bm_grab_open(handle, 0), 1);
    hox_host_cards_advance(1);
    ASSERT_EQ(bm_grab_getCurrentFrame(handle, &bitmap, nullptr, 0), 2);
    EXPECT_EQ(bitmap->width, 4);
    EXPECT_EQ(bm_grab_getCurrentFrame(handle, &bitmap, nullptr, 0), 0);  // no new frame: the one handed out stays

    hox_host_card_signal(0, 1);
    EXPECT_EQ(owner->changed, 1);
    // The pixels the bitmap pointed at were the old mode's: the frame of the
    // new mode is handed out at once, without waiting for the clock.
    ASSERT_EQ(bm_grab_getCurrentFrame(handle, &bitmap, nullptr, 0), 2);
    ASSERT_EQ(bitmap->width, 64);
    ASSERT_EQ(bitmap->height, 48);
    // Frame 0 of the ramp: A 255, R = frame, G = y, B = x.
    const auto* cell = static_cast<const uint8_t*>(bitmap->data) + 5 * bitmap->pitch + 3 * 4;
    EXPECT_EQ(cell[0], 255);
    EXPECT_EQ(cell[1], 0);
    EXPECT_EQ(cell[2], 5);
    EXPECT_EQ(cell[3], 3);
    EXPECT_EQ(bm_grab_getCurrentFrame(handle, &bitmap, nullptr, 0), 0);

    // A mode the card does not have leaves the frame as it was.
    hox_host_card_signal(0, 7);
    EXPECT_EQ(owner->changed, 7);
    EXPECT_EQ(bm_grab_getCurrentFrame(handle, &bitmap, nullptr, 0), 0);
    bm_grab_close(handle);
}

}  // namespace

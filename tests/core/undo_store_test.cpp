// The compact history store against a literal one that keeps every state whole, its
// packings against hand-made changes, and its behaviour when memory runs out.

#include "core/undo_store.h"

#include <gtest/gtest.h>

#include <new>
#include <random>

#include "support/test_images.h"

namespace {

// A picture with smooth areas and noise, so both packing modes have work.
Image picture(int w, int h, uint32_t seed, int depth = 24) {
    Image image(w, h, depth);
    std::mt19937 rng(seed);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t noise = rng() % 5;
            uint32_t a = depth == 32 ? (x * 7 + y) & 255 : 255;
            image.at(x, y) = rgba((x * 3 + noise) & 255, (y * 2) & 255, (x + y + noise) & 255, a);
        }
    }
    return image;
}

TEST(PackedPixels, DifferingRectIsTheBoxOfTheChangedPixels) {
    Image a = picture(40, 30, 1), b = a;
    EXPECT_TRUE(differingRect(a, b).empty());
    b.at(7, 21) ^= 1;
    b.at(33, 4) ^= 0x01000000;  // alpha alone counts too
    EXPECT_EQ(differingRect(a, b), (Rect{7, 4, 33, 21}));
    b = a;
    b.at(39, 29) = 0;
    EXPECT_EQ(differingRect(a, b), (Rect{39, 29, 39, 29}));
}

TEST(PackedPixels, EachModeTakesStatesBothWays) {
    // Widths around the 16-pixel blocks, rectangles across band edges (every 64 rows).
    for (int width : {1, 15, 16, 17, 70}) {
        const Image before = picture(width, 150, 2, 32);
        const Rect rect{0, 50, width - 1, 140};
        Image inverted = before, nudged = before;
        for (int y = rect.top; y <= rect.bottom; ++y) {
            for (int x = rect.left; x <= rect.right; ++x) {
                inverted.at(x, y) ^= 0x00FFFFFF;  // bits flip: Xor packs best
                uint32_t p = nudged.at(x, y);     // values move a little: Difference
                nudged.at(x, y) = rgba((redOf(p) + 3) & 255, (greenOf(p) + 250) & 255,
                                       (blueOf(p) + 1) & 255, alphaOf(p));
            }
        }
        const std::pair<const Image*, PackMode> cases[] = {{&inverted, PackMode::Xor},
                                                           {&nudged, PackMode::Difference}};
        for (const auto& [after, mode] : cases) {
            PackedPixels packed = packDifference(before, *after, differingRect(before, *after));
            EXPECT_EQ(packed.mode, mode) << width;
            EXPECT_EQ(packed.bands.size(), 3u);  // rows 50..63, 64..127 and 128..140
            Image forward = before, backward = *after;
            unpackInto(packed, forward, PackDirection::Forward);
            unpackInto(packed, backward, PackDirection::Backward);
            EXPECT_EQ(firstDifference(forward, *after), "") << width;
            EXPECT_EQ(firstDifference(backward, before), "") << width;
        }
        // Whole: the rectangle's pixels written over anything.
        PackedPixels whole = packWhole(before, Rect{0, 3, width - 1, 70});
        Image target(width, 150, 32, 0x12345678);
        unpackInto(whole, target, PackDirection::Forward);
        EXPECT_EQ(copyRect(target, 0, 3, width - 1, 70), copyRect(before, 0, 3, width - 1, 70));
        EXPECT_EQ(target.at(0, 2), 0x12345678u);
        EXPECT_EQ(target.at(0, 71), 0x12345678u);
    }
}

TEST(PackedPixels, UnchangedPixelsCostAlmostNothing) {
    const Image before = picture(512, 256, 3);
    Image after = before;
    for (uint32_t& p : after.pixels) p ^= 0x00FFFFFF;
    PackedPixels packed = packDifference(before, after, wholeImage(after));
    // 512 KiB of pixels, every one changed the same way.
    EXPECT_LT(packed.bytes(), 8u * 1024);
}

// The literal history: every state whole, as the plain design keeps them.
struct LiteralHistory {
    std::vector<Image> states;
    int position = -1;
    void reset(const Image& s) {
        states = {s};
        position = 0;
    }
    void push(const Image& s) {
        states.resize(static_cast<size_t>(position) + 1);
        states.push_back(s);
        ++position;
    }
    void step(int d) {
        position = std::clamp(position + d, 0, static_cast<int>(states.size()) - 1);
    }
    void revert() {
        states = {states.front()};
        position = 0;
    }
};

void expectSame(const UndoStore& store, const LiteralHistory& literal, const std::string& when) {
    ASSERT_EQ(store.count(), literal.states.size()) << when;
    ASSERT_EQ(store.position(), literal.position) << when;
    ASSERT_EQ(firstDifference(store.current(), literal.states[literal.position]), "") << when;
    ASSERT_EQ(store.current().depth, literal.states[literal.position].depth) << when;
    for (size_t i = 0; i < literal.states.size(); ++i) {
        ASSERT_EQ(store.state(i), literal.states[i]) << when << ", state " << i;
    }
}

// A random edit: a changed rectangle, a new size or a new depth.
Image edit(const Image& from, std::mt19937& rng) {
    Image out = from;
    switch (rng() % 6) {
        case 0:  // quarter turn: a new size
            out = Image::unset(from.height, from.width, from.depth);
            for (int y = 0; y < from.height; ++y) {
                for (int x = 0; x < from.width; ++x) out.at(from.height - 1 - y, x) = from.at(x, y);
            }
            break;
        case 1:  // crop
            out = copyRect(from, 1, 2, from.width - 2, from.height - 1);
            break;
        case 2:  // depth only
            out.depth = from.depth == 32 ? 24 : 32;
            break;
        default: {  // a rectangle changed
            int x0 = static_cast<int>(rng() % from.width),
                y0 = static_cast<int>(rng() % from.height);
            int x1 = std::min(from.width - 1, x0 + static_cast<int>(rng() % 40));
            int y1 = std::min(from.height - 1, y0 + static_cast<int>(rng() % 90));
            uint32_t flip = rng();
            for (int y = y0; y <= y1; ++y) {
                for (int x = x0; x <= x1; ++x) out.at(x, y) = (out.at(x, y) + flip) ^ (x * y);
            }
        }
    }
    if (out.width < 4 || out.height < 4) return picture(37, 81, rng(), from.depth);
    return out;
}

TEST(UndoStore, AgreesWithTheLiteralHistory) {
    std::mt19937 rng(99);
    UndoStore store;
    LiteralHistory literal;
    Image document = picture(37, 130, 5);
    store.reset(document);
    literal.reset(document);
    for (int i = 0; i < 120; ++i) {
        unsigned action = rng() % 10;
        std::string when = "action " + std::to_string(i);
        if (action < 5) {
            document = edit(literal.states[literal.position], rng);
            store.push(document);
            literal.push(document);
        } else if (action < 7) {
            store.step(-1);
            literal.step(-1);
        } else if (action < 9) {
            store.step(1);
            literal.step(1);
        } else if (rng() % 4 == 0) {
            store.revert();
            literal.revert();
        }
        ASSERT_NO_FATAL_FAILURE(expectSame(store, literal, when));
    }
}

TEST(UndoStore, TheFirstStatePackedOnItsOwnThreadIsTheLoadedOne) {
    // Large enough that the packing on its own thread is still at work as the calls below
    // come: replaced, raced by a push, and destroyed mid-way after the revert.
    const Image loaded = picture(600, 700, 11);
    Image edited = loaded;
    edited.at(5, 5) ^= 0xFF;
    for (int round = 0; round < 3; ++round) {
        UndoStore store;
        store.reset(picture(600, 700, 12));
        store.reset(loaded);
        // The failure is meant for push, not for the packing on the other thread.
        failAllocationAfter(1);
        EXPECT_THROW(store.push(edited), std::bad_alloc);
        failAllocationAfter(0);
        EXPECT_EQ(store.count(), 1u);
        EXPECT_EQ(store.current(), loaded);
        store.push(edited);
        EXPECT_EQ(store.current(), edited);
        store.revert();
        EXPECT_EQ(store.current(), loaded);
        store.push(edited);
        store.step(-1);
        EXPECT_EQ(store.state(1), edited);
    }
}

TEST(UndoStore, DroppingTheOldestKeepsEveryLaterState) {
    std::mt19937 rng(7);
    UndoStore store;
    LiteralHistory literal;
    Image document = picture(50, 140, 8);
    store.reset(document);
    literal.reset(document);
    for (int i = 0; i < 12; ++i) {
        document = edit(document, rng);
        store.push(document);
        literal.push(document);
    }
    // Nothing to drop while within the target, and never the current state.
    EXPECT_EQ(store.dropOldest(store.bytes()), 0u);
    size_t dropped = store.dropOldest(store.bytes() - 1);
    ASSERT_GE(dropped, 1u);
    literal.states.erase(literal.states.begin(), literal.states.begin() + dropped);
    literal.position -= static_cast<int>(dropped);
    ASSERT_NO_FATAL_FAILURE(expectSame(store, literal, "after one drop"));
    // Down to the current state alone: the store holds little more than it.
    dropped = store.dropOldest(0);
    EXPECT_EQ(store.count(), 1u);
    EXPECT_EQ(store.position(), 0);
    EXPECT_EQ(store.current(), document);
    EXPECT_LT(store.bytes(), document.pixels.size() * 4 + 4096);
    // Revert now goes to the state kept.
    store.revert();
    EXPECT_EQ(store.current(), document);
}

// Runs `operation` with the n-th allocation failing, for n = 1, 2, ... until it
// succeeds; after each failure the store must be exactly as before.
template <typename Operation>
int failEachAllocation(UndoStore& store, const LiteralHistory& before, Operation&& operation) {
    int failures = 0;
    for (int n = 1;; ++n) {
        failAllocationAfter(n);
        try {
            operation();
            failAllocationAfter(0);
            return failures;
        } catch (const std::bad_alloc&) {
            failAllocationAfter(0);
            ++failures;
            expectSame(store, before, "allocation " + std::to_string(n) + " failed");
            if (::testing::Test::HasFatalFailure()) return failures;
        }
    }
}

TEST(UndoStore, RunningOutOfMemoryChangesNothing) {
    std::mt19937 rng(3);
    UndoStore store;
    LiteralHistory literal;
    Image document = picture(45, 150, 4);
    store.reset(document);
    literal.reset(document);
    for (int i = 0; i < 6; ++i) {
        // Push: a same-size change, then a new size.
        Image next = edit(document, rng);
        EXPECT_GT(failEachAllocation(store, literal, [&] { store.push(next); }), 0);
        literal.push(next);
        document = next;
        ASSERT_NO_FATAL_FAILURE(expectSame(store, literal, "push"));
    }
    EXPECT_GT(failEachAllocation(store, literal, [&] { store.step(-1); }), 0);
    literal.step(-1);
    ASSERT_NO_FATAL_FAILURE(expectSame(store, literal, "undo"));
    EXPECT_GT(failEachAllocation(store, literal, [&] { store.step(-1); }), 0);
    literal.step(-1);
    EXPECT_GT(failEachAllocation(store, literal, [&] { store.step(1); }), 0);
    literal.step(1);
    ASSERT_NO_FATAL_FAILURE(expectSame(store, literal, "redo"));
    EXPECT_GT(failEachAllocation(store, literal, [&] { store.dropOldest(store.bytes() - 1); }), 0);
    // How many went is the store's choice; the states left must be the newest ones.
    size_t dropped = literal.states.size() - store.count();
    literal.states.erase(literal.states.begin(), literal.states.begin() + dropped);
    literal.position -= static_cast<int>(dropped);
    ASSERT_NO_FATAL_FAILURE(expectSame(store, literal, "drop"));
    EXPECT_GT(failEachAllocation(store, literal, [&] { store.revert(); }), 0);
    literal.revert();
    ASSERT_NO_FATAL_FAILURE(expectSame(store, literal, "revert"));
}

}  // namespace

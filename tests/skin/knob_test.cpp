// The volume knob's math: angles, dragging, keys, wheel and resizing.

#include "skin/knob_model.h"

#include <gtest/gtest.h>

namespace tl {
namespace {

class KnobTest : public ::testing::Test {
protected:
    void SetUp() override {
        knob.setRange(0, 10);
        knob.onChange = [this] {
            ++changes;
        };
    }
    KnobModel knob; // 40 x 40, centre (20, 20)
    int changes = 0;
};

TEST_F(KnobTest, PositionsAndAngles) {
    EXPECT_EQ(knob.step(), 30.0f);
    struct Row {
        int position, angle;
    };
    for (const Row& r : {Row{0, 240}, Row{5, 90}, Row{10, -60}, Row{3, 150}}) {
        knob.setPosition(r.position);
        EXPECT_EQ(knob.angle(), r.angle);
        EXPECT_EQ(knob.angleToPosition(r.angle), r.position);
    }
    // Default range 0..127: step 300 / 127.
    KnobModel wide;
    wide.setPosition(64);
    EXPECT_EQ(wide.angle(), 240 - 151); // 64 * 2.3622 = 151.18
    // An empty range has no step; every angle is the minimum.
    KnobModel flat;
    flat.setRange(4, 4);
    EXPECT_EQ(flat.step(), 0.0f);
    EXPECT_EQ(flat.angleToPosition(17), 4);
}

TEST_F(KnobTest, AngleUnderThePointer) {
    struct Row {
        QPoint point;
        int angle;
    };
    for (const Row& r : {Row{{20, 35}, 240}, // straight below: minimum
                         Row{{21, 39}, -60}, // slightly right of below: maximum
                         Row{{19, 39}, 240}, // slightly left of below: minimum
                         Row{{20, 2}, 90},   // straight up
                         Row{{20, 20}, 90},  // the centre counts as up
                         Row{{38, 20}, 0},   // right
                         Row{{2, 20}, 180},  // left
                         Row{{5, 5}, 135}, Row{{35, 35}, -45}}) {
        EXPECT_EQ(knob.angleAt(r.point), r.angle) << r.point.x() << "," << r.point.y();
    }
}

TEST_F(KnobTest, MovingWithoutButtonOnlyPreviews) {
    knob.setPosition(2);
    changes = 0;
    EXPECT_EQ(knob.mouseMove({20, 2}), 5);
    EXPECT_EQ(knob.labelValue(), 5);
    EXPECT_EQ(knob.position(), 2);
    EXPECT_EQ(changes, 0);
    knob.mouseLeft();
    EXPECT_EQ(knob.labelValue(), 2);
}

TEST_F(KnobTest, DragInsideTheCircle) {
    EXPECT_FALSE(knob.leftButtonDown({1, 1})); // corner of the square: outside the circle
    EXPECT_FALSE(knob.dragging());
    EXPECT_TRUE(knob.leftButtonDown({20, 2}));
    EXPECT_TRUE(knob.dragging());
    EXPECT_EQ(knob.position(), 5);
    knob.mouseMove({38, 20}); // 0 degrees
    EXPECT_EQ(knob.position(), 8);
    knob.mouseMove({35, 35});
    knob.buttonUp();
    EXPECT_EQ(knob.position(), 10);
    EXPECT_FALSE(knob.dragging());
    knob.mouseMove({2, 20});
    EXPECT_EQ(knob.position(), 10);
}

TEST_F(KnobTest, ClampingStillNotifies) {
    knob.setPosition(15);
    EXPECT_EQ(knob.position(), 10);
    EXPECT_EQ(changes, 1);
    knob.setPosition(10);
    EXPECT_EQ(changes, 2); // nothing changed, still notified
    knob.setPosition(-3);
    EXPECT_EQ(knob.position(), 0);
    knob.setMax(4);
    knob.setPosition(9);
    EXPECT_EQ(knob.position(), 4);
    EXPECT_EQ(knob.angle(), -60);
}

TEST_F(KnobTest, InvertedRangeStaysInside) {
    knob.setRange(10, 0); // Max below Min
    knob.setPosition(50);
    EXPECT_EQ(knob.position(), 10);
    knob.setPosition(-50);
    EXPECT_EQ(knob.position(), 0);
}

TEST_F(KnobTest, SpringLoadedReturnsToZero) {
    knob.setRange(-5, 5);
    knob.setSpringLoaded(true);
    EXPECT_EQ(knob.position(), 0);
    knob.leftButtonDown({20, 2});
    knob.mouseMove({38, 20});
    EXPECT_NE(knob.position(), 0);
    knob.buttonUp();
    EXPECT_EQ(knob.position(), 0);
    knob.setPosition(3);
    knob.focusLost();
    EXPECT_EQ(knob.position(), 0);
    // Clamped into the range when 0 lies outside it.
    KnobModel high;
    high.setRange(2, 9);
    high.setSpringLoaded(true);
    EXPECT_EQ(high.position(), 2);
}

TEST_F(KnobTest, KeysAndWheel) {
    knob.setPageSize(4);
    struct Row {
        KnobModel::Key key;
        int expected;
    };
    knob.setPosition(5);
    for (const Row& r :
         {Row{KnobModel::Key::PageUp, 9}, Row{KnobModel::Key::PageUp, 10},
          Row{KnobModel::Key::Left, 9}, Row{KnobModel::Key::Down, 8}, Row{KnobModel::Key::Up, 9},
          Row{KnobModel::Key::Right, 10}, Row{KnobModel::Key::Home, 0},
          Row{KnobModel::Key::PageDown, 0}, Row{KnobModel::Key::End, 10}}) {
        knob.key(r.key);
        EXPECT_EQ(knob.position(), r.expected);
    }
    knob.wheel(-3);
    EXPECT_EQ(knob.position(), 7);
    knob.wheel(1);
    EXPECT_EQ(knob.position(), 8);
    knob.setRange(INT32_MIN + 1, INT32_MAX);
    knob.setPosition(INT32_MAX);
    knob.setPageSize(INT32_MAX);
    knob.key(KnobModel::Key::PageUp); // no overflow
    EXPECT_EQ(knob.position(), INT32_MAX);
}

TEST(KnobResize, SquareRule) {
    struct Row {
        int previous, w, h, side;
    };
    for (const Row& r : {Row{32, 32, 40, 40}, Row{40, 32, 40, 32}, Row{40, 40, 40, 40},
                         Row{40, 50, 30, 50}, Row{40, 20, 40, 20}, Row{10, 0, 0, 0}}) {
        EXPECT_EQ(knobSquareSide(r.previous, r.w, r.h), r.side)
            << r.previous << " " << r.w << "x" << r.h;
    }
    KnobModel knob;
    EXPECT_EQ(knob.side(), 40);
    EXPECT_EQ(knob.resize(32, 40), 32);
    EXPECT_EQ(knob.radius(), 16);
    EXPECT_EQ(knob.resize(32, 41), 41);
    EXPECT_EQ(knob.radius(), 20);
}

TEST(KnobPointer, LineFromTheAngle) {
    KnobModel knob; // radius 20
    knob.setRange(0, 10);
    knob.setPosition(5); // 90 degrees: straight up
    const QLineF up = knob.pointerLine();
    EXPECT_EQ(up.p1(), QPointF(20, 11));
    EXPECT_EQ(up.p2(), QPointF(20, 5));
    knob.setPosition(0); // 240 degrees
    const QLineF low = knob.pointerLine();
    // Towards the lower left, 9 and 15 pixels from the centre (within rounding).
    EXPECT_NEAR(low.p1().x(), 20 - 4.5, 0.6);
    EXPECT_EQ(low.p1().y(), 20 + 8); // 9 * sin 240 = -7.79
    EXPECT_NEAR(low.p2().x(), 20 - 7.5, 0.6);
    EXPECT_EQ(low.p2().y(), 20 + 13);
}

} // namespace
} // namespace tl

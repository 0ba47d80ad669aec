#include "widgets/message_box_model.h"

#include <gtest/gtest.h>

namespace {

using namespace nemora::widgets;

std::vector<int> Ids(const MessageBoxSpec& spec)
{
    std::vector<int> ids;
    for (const MessageBoxButton& b : spec.buttons)
        ids.push_back(b.id);
    return ids;
}

struct SetCase {
    std::uint32_t style;
    std::vector<int> ids;
    int defaultId;
    int cancelId;
};

TEST(MessageBoxSpec, ButtonSetsWithTheirDefaultAndCancelButtons)
{
    const std::vector<SetCase> cases = {
        {0x0, {1}, 1, 1},
        {0x1, {1, 2}, 1, 2},
        {0x2, {3, 4, 5}, 3, -1},
        {0x3, {6, 7, 2}, 6, 2},
        {0x4, {6, 7}, 6, -1},
        {0x5, {4, 2}, 4, 2},
        {0x6, {2, 10, 11}, 2, 2},
        {0x7, {11, 3}, 11, -1},
        {0x8, {16, 17, 2}, 16, 2},
        {0x9, {5, 18, 2}, 5, 2},
        {0xC, {1}, 1, 1},
        {0xF, {1}, 1, 1},
        {0x04000003 | 0x08000000, {6, 14, 7, 15, 2}, 6, 2},
        {0x08000004, {6, 7, 15}, 6, -1},
        {0x04000001, {1, 2}, 1, 2}, // "Yes to all" only with the Yes/No sets
        {0x4004, {6, 7, 9}, 6, -1},
    };
    for (const SetCase& c : cases) {
        const MessageBoxSpec spec = BuildMessageBoxSpec(c.style);
        EXPECT_EQ(Ids(spec), c.ids) << std::hex << c.style;
        EXPECT_EQ(spec.defaultId, c.defaultId) << std::hex << c.style;
        EXPECT_EQ(spec.cancelId, c.cancelId) << std::hex << c.style;
    }
    EXPECT_EQ(BuildMessageBoxSpec(0x24).buttons, (std::vector<MessageBoxButton>{{6, "&Yes"}, {7, "&No"}}));
    EXPECT_EQ(BuildMessageBoxSpec(0x8).buttons[1].caption, "Skip &all");
    EXPECT_EQ(BuildMessageBoxSpec(0x6).buttons[1].caption, "&Retry");
}

TEST(MessageBoxSpec, DefaultButtonBitsPickByPositionWithinTheList)
{
    EXPECT_EQ(BuildMessageBoxSpec(0x103).defaultId, 7);
    EXPECT_EQ(BuildMessageBoxSpec(0x203).defaultId, 2);
    EXPECT_EQ(BuildMessageBoxSpec(0x303).defaultId, 6); // beyond the list: first
    EXPECT_EQ(BuildMessageBoxSpec(0x04000303 | 0x08000000).defaultId, 15);
    EXPECT_EQ(BuildMessageBoxSpec(0x600).defaultId, 1); // not a position
    EXPECT_EQ(BuildMessageBoxSpec(0x4104).defaultId, 7);
}

TEST(MessageBoxSpec, IconsAndCheckBoxes)
{
    EXPECT_EQ(BuildMessageBoxSpec(0x10).icon, MessageBoxIcon::Stop);
    EXPECT_EQ(BuildMessageBoxSpec(0x24).icon, MessageBoxIcon::Question);
    EXPECT_EQ(BuildMessageBoxSpec(0x30).icon, MessageBoxIcon::Exclamation);
    EXPECT_EQ(BuildMessageBoxSpec(0x40).icon, MessageBoxIcon::Information);
    EXPECT_EQ(BuildMessageBoxSpec(0x50).icon, MessageBoxIcon::None);
    EXPECT_EQ(BuildMessageBoxSpec(0x0).checkBoxText, "");
    EXPECT_EQ(BuildMessageBoxSpec(0x01000000).checkBoxText, "Don't display this &message again.");
    EXPECT_EQ(BuildMessageBoxSpec(0x02000000).checkBoxText, "Don't ask this &question again.");
    EXPECT_EQ(BuildMessageBoxSpec(0x03000000).checkBoxText, "Don't display this &message again.");
}

TEST(MessageBoxKey, HelpContextOrSignedByteWeightedSum)
{
    EXPECT_EQ(MessageBoxKey("anything", 1234), "1234");
    EXPECT_EQ(MessageBoxKey("", 0), "0");
    EXPECT_EQ(MessageBoxKey("AB", 0), "66"); // 65*0 + 66*1
    EXPECT_EQ(MessageBoxKey("ABC", 0), std::to_string(66 + 67 * 2));
    EXPECT_EQ(MessageBoxKey("\xFF\xFF", 0), "-1"); // bytes count as signed
    EXPECT_EQ(MessageBoxKey("\xE3\x80\x8E", 0), std::to_string(-128 * 1 + -114 * 2));
    // A long text wraps in 32-bit arithmetic rather than overflowing.
    const std::string longText(70000, 'z');
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < longText.size(); ++i)
        sum += 122u * i;
    EXPECT_EQ(MessageBoxKey(longText, 0), std::to_string(static_cast<std::int32_t>(sum)));
}

TEST(MessageBoxLayout, IconTextCheckBoxAndCentredButtons)
{
    MessageBoxLayoutInput in;
    in.du = {1500, 2000}; // dx(8) = 12, dy(8) = 16, dx(4) = 6, dy(4) = 8
    in.icon = {32, 32};
    in.text = {200, 40};
    in.checkBox = {150, 16};
    in.button = {75, 32};
    in.buttonCount = 2;
    const MessageBoxLayout out = LayOutMessageBox(in);
    EXPECT_EQ(out.icon, (Point{12, 16}));
    EXPECT_EQ(out.text, (Point{12 + 12 + 32, 16}));
    // W = 24 + 12 + 32 + 12 + 200 = 280; text rows end at 16 + 40 + 8 + 16 = 80 for the check box.
    EXPECT_EQ(out.checkBox, (Point{56, 80}));
    // H: max(32 + 48, 40 + 8 + 32, 80 + 16 + 16) = 112, then + 16 + 32 = 160; buttons at 160 - 16 - 32.
    EXPECT_EQ(out.client, (Size{280, 160}));
    const int row = 2 * 75 + 6;
    ASSERT_EQ(out.buttons.size(), 2u);
    EXPECT_EQ(out.buttons[0], (Point{(280 - row) / 2, 112}));
    EXPECT_EQ(out.buttons[1], (Point{(280 - row) / 2 + 75 + 6, 112}));

    in.rightJustifyButtons = true;
    EXPECT_EQ(LayOutMessageBox(in).buttons[0].x, 280 - 12 - row);

    // A wide button row widens the box.
    in.buttonCount = 5;
    EXPECT_EQ(LayOutMessageBox(in).client.width, 5 * 75 + 4 * 6 + 24);
}

TEST(MessageBoxLayout, ButtonSizeAndTextWidth)
{
    const DialogUnitScale du{1500, 2000};
    EXPECT_EQ(MessageBoxButtonSize(du, {30, 12}), (Size{60 + 12, 28 + 2}));
    EXPECT_EQ(MessageBoxButtonSize(du, {90, 30}), (Size{90 + 12, 30 + 2}));
    EXPECT_EQ(MessageTextMaxWidth(1920, du, 0), 1060);
    EXPECT_EQ(MessageTextMaxWidth(1920, du, 32), 1060 - 24 - 32);
}

} // namespace

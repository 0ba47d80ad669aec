#pragma once

// What the console's message box shows for a set of style bits, the key under which it remembers an
// answer, and its layout arithmetic. Kept free of any toolkit so it can be tested on its own; the dialog
// in message_box_dialog.h only measures text and places widgets where this says.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nemora::widgets {

// Button identifiers a box can return.
enum MessageBoxButtonId : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdAbort = 3,
    kIdRetry = 4,
    kIdIgnore = 5,
    kIdYes = 6,
    kIdNo = 7,
    kIdHelp = 9,
    kIdTryAgain = 10,
    kIdContinue = 11,
    kIdYesToAll = 14,
    kIdNoToAll = 15,
    kIdSkip = 16,
    kIdSkipAll = 17,
    kIdIgnoreAll = 18,
    kIdCheckBox = 19,
};

// The boxes the console shows: buttons and icon together. Call sites pass one of these, never a number.
inline constexpr std::uint32_t kBoxOk = 0x00;                  // OK, no icon: reports and notices
inline constexpr std::uint32_t kBoxError = 0x10;               // OK with the stop icon
inline constexpr std::uint32_t kBoxOkCancelQuestion = 0x21;    // OK and Cancel with the question icon
inline constexpr std::uint32_t kBoxYesNoCancelQuestion = 0x23; // Yes, No and Cancel with the question icon
inline constexpr std::uint32_t kBoxYesNoQuestion = 0x24;       // Yes and No with the question icon
inline constexpr std::uint32_t kBoxWarning = 0x30;             // OK with the exclamation icon
inline constexpr std::uint32_t kBoxInformation = 0x40;         // OK with the information icon

// Style bits.
inline constexpr std::uint32_t kStyleButtonMask = 0x0000000F;
inline constexpr std::uint32_t kStyleIconMask = 0x000000F0;
inline constexpr std::uint32_t kStyleDefaultButtonMask = 0x00000F00;
inline constexpr std::uint32_t kStyleSystemModal = 0x00001000;
inline constexpr std::uint32_t kStyleHelp = 0x00004000;
inline constexpr std::uint32_t kStyleSetForeground = 0x00010000;
inline constexpr std::uint32_t kStyleTopmost = 0x00040000;
inline constexpr std::uint32_t kStyleRight = 0x00080000;
inline constexpr std::uint32_t kStyleRtlReading = 0x00100000;
inline constexpr std::uint32_t kStyleDontDisplayAgain = 0x01000000;
inline constexpr std::uint32_t kStyleDontAskAgain = 0x02000000;
inline constexpr std::uint32_t kStyleYesToAll = 0x04000000;
inline constexpr std::uint32_t kStyleNoToAll = 0x08000000;
inline constexpr std::uint32_t kStyleRightJustifyButtons = 0x10000000;
inline constexpr std::uint32_t kStyleNoSound = 0x20000000;

enum class MessageBoxIcon { None, Stop, Question, Exclamation, Information };

struct MessageBoxButton {
    int id;
    std::string caption; // with '&' before the mnemonic letter

    bool operator==(const MessageBoxButton&) const = default;
};

struct MessageBoxSpec {
    std::vector<MessageBoxButton> buttons;
    int defaultId = -1;
    int cancelId = -1;
    MessageBoxIcon icon = MessageBoxIcon::None;
    std::string checkBoxText; // "Don't display this &message again." or the like; empty: no check box
};

// The buttons, default and cancel identifiers, icon and check box for a style, their texts in the user's
// language.
MessageBoxSpec BuildMessageBoxSpec(std::uint32_t style);

// The key of a remembered answer: the help context in decimal when it is not 0, otherwise the decimal
// value of the sum of (byte as signed 8-bit) x (its position) over the text's bytes, in wrapping signed
// 32-bit arithmetic.
std::string MessageBoxKey(std::string_view text, std::uint32_t helpContext);

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size&) const = default;
};
struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Dialog units of the box: the pixel size of 1000 x 1000 dialog units.
struct DialogUnitScale {
    int x1000 = 1500;
    int y1000 = 2000;
    int Dx(int n) const { return n * x1000 / 1000; }
    int Dy(int n) const { return n * y1000 / 1000; }
};

// The widest the message text may be before it wraps.
int MessageTextMaxWidth(int screenWidth, const DialogUnitScale& du, int iconWidth /* 0 for none */);

// Common size of every button from the largest caption extent (ampersands included).
Size MessageBoxButtonSize(const DialogUnitScale& du, Size largestCaption);

struct MessageBoxLayoutInput {
    DialogUnitScale du;
    Size icon;     // 0 x 0 when there is none
    Size text;     // measured, wrapped
    Size checkBox; // 0 x 0 when there is none
    Size button;
    int buttonCount = 0;
    bool rightJustifyButtons = false;
};

struct MessageBoxLayout {
    Size client;
    Point icon;
    Point text;
    Point checkBox;
    std::vector<Point> buttons;
};

MessageBoxLayout LayOutMessageBox(const MessageBoxLayoutInput& in);

} // namespace nemora::widgets

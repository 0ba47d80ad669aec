#include "widgets/message_box_model.h"

#include "i18n/translate.h"

#include <algorithm>

namespace nemora::widgets {

namespace {

std::string Caption(int id)
{
    switch (id) {
    case kIdOk:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Ok");
    case kIdCancel:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Cancel");
    case kIdAbort:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Abort");
    case kIdRetry:
    case kIdTryAgain:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Retry");
    case kIdIgnore:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Ignore");
    case kIdIgnoreAll:
        return nemora::i18n::Tr("CMessageBoxDialog", "Ignore &all");
    case kIdYes:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Yes");
    case kIdYesToAll:
        return nemora::i18n::Tr("CMessageBoxDialog", "Yes to &all");
    case kIdNo:
        return nemora::i18n::Tr("CMessageBoxDialog", "&No");
    case kIdNoToAll:
        return nemora::i18n::Tr("CMessageBoxDialog", "No to a&ll");
    case kIdContinue:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Continue");
    case kIdSkip:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Skip");
    case kIdSkipAll:
        return nemora::i18n::Tr("CMessageBoxDialog", "Skip &all");
    case kIdHelp:
        return nemora::i18n::Tr("CMessageBoxDialog", "&Help");
    default:
        return "";
    }
}

} // namespace

MessageBoxSpec BuildMessageBoxSpec(std::uint32_t style)
{
    MessageBoxSpec spec;
    std::vector<int> ids;
    const bool yesToAll = style & kStyleYesToAll;
    const bool noToAll = style & kStyleNoToAll;
    switch (style & kStyleButtonMask) {
    case 1:
        ids = {kIdOk, kIdCancel};
        spec.cancelId = kIdCancel;
        break;
    case 2:
        ids = {kIdAbort, kIdRetry, kIdIgnore};
        break;
    case 3:
    case 4:
        ids.push_back(kIdYes);
        if (yesToAll)
            ids.push_back(kIdYesToAll);
        ids.push_back(kIdNo);
        if (noToAll)
            ids.push_back(kIdNoToAll);
        if ((style & kStyleButtonMask) == 3) {
            ids.push_back(kIdCancel);
            spec.cancelId = kIdCancel;
        }
        break;
    case 5:
        ids = {kIdRetry, kIdCancel};
        spec.cancelId = kIdCancel;
        break;
    case 6:
        ids = {kIdCancel, kIdTryAgain, kIdContinue};
        spec.cancelId = kIdCancel;
        break;
    case 7:
        ids = {kIdContinue, kIdAbort};
        break;
    case 8:
        ids = {kIdSkip, kIdSkipAll, kIdCancel};
        spec.cancelId = kIdCancel;
        break;
    case 9:
        ids = {kIdIgnore, kIdIgnoreAll, kIdCancel};
        spec.cancelId = kIdCancel;
        break;
    default: // 0 and 10 to 15
        ids = {kIdOk};
        spec.cancelId = kIdOk;
        break;
    }
    if (style & kStyleHelp)
        ids.push_back(kIdHelp);
    for (int id : ids)
        spec.buttons.push_back({id, Caption(id)});

    // Every set's own default is its first button; the default-button bits pick another by position.
    spec.defaultId = spec.buttons.front().id;
    const std::uint32_t position = (style & kStyleDefaultButtonMask) >> 8;
    if (position >= 1 && position <= 5 && position < spec.buttons.size())
        spec.defaultId = spec.buttons[position].id;

    switch (style & kStyleIconMask) {
    case 0x10:
        spec.icon = MessageBoxIcon::Stop;
        break;
    case 0x20:
        spec.icon = MessageBoxIcon::Question;
        break;
    case 0x30:
        spec.icon = MessageBoxIcon::Exclamation;
        break;
    case 0x40:
        spec.icon = MessageBoxIcon::Information;
        break;
    default:
        spec.icon = MessageBoxIcon::None;
        break;
    }

    if (style & kStyleDontDisplayAgain)
        spec.checkBoxText = nemora::i18n::Tr("CMessageBoxDialog", "Don't display this &message again.");
    else if (style & kStyleDontAskAgain)
        spec.checkBoxText = nemora::i18n::Tr("CMessageBoxDialog", "Don't ask this &question again.");
    return spec;
}

std::string MessageBoxKey(std::string_view text, std::uint32_t helpContext)
{
    if (helpContext != 0)
        return std::to_string(helpContext);
    std::uint32_t sum = 0; // unsigned arithmetic wraps exactly like two's-complement 32-bit
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<std::int8_t>(static_cast<unsigned char>(text[i]));
        sum += static_cast<std::uint32_t>(static_cast<std::int32_t>(byte)) * static_cast<std::uint32_t>(i);
    }
    return std::to_string(static_cast<std::int32_t>(sum));
}

int MessageTextMaxWidth(int screenWidth, const DialogUnitScale& du, int iconWidth)
{
    int width = screenWidth / 2 + 100;
    if (iconWidth > 0)
        width -= 2 * du.Dx(8) + iconWidth;
    return std::max(width, 1);
}

Size MessageBoxButtonSize(const DialogUnitScale& du, Size largestCaption)
{
    return {std::max(du.Dx(40), largestCaption.width) + 2 * du.Dx(4),
            std::max(du.Dy(14), largestCaption.height) + 2 * (du.x1000 / 1000)};
}

MessageBoxLayout LayOutMessageBox(const MessageBoxLayoutInput& in)
{
    const DialogUnitScale& du = in.du;
    MessageBoxLayout out;
    int w = 2 * du.Dx(8);
    int h = 2 * du.Dy(8);
    int tx = du.Dx(8);
    const int ty = du.Dy(8);
    if (in.icon.width > 0) {
        out.icon = {du.Dx(8), du.Dy(8)};
        w += du.Dx(8) + in.icon.width;
        h += du.Dy(8) + in.icon.height;
        tx += du.Dx(8) + in.icon.width;
    }
    w += du.Dx(8) + in.text.width;
    h = std::max(h, in.text.height + du.Dy(4) + 2 * du.Dy(8));
    out.text = {tx, ty};

    const int y = ty + in.text.height + du.Dy(4) + du.Dy(8);
    if (in.checkBox.width > 0) {
        out.checkBox = {tx, y};
        w = std::max(w, tx + in.checkBox.width + du.Dx(8));
        h = std::max(h, y + in.checkBox.height + du.Dy(8));
    }

    const int n = in.buttonCount;
    const int row = n * in.button.width + (n > 0 ? (n - 1) * du.Dx(4) : 0);
    w = std::max(w, row + 2 * du.Dx(8));
    h += du.Dy(8) + in.button.height;
    const int top = h - du.Dy(8) - in.button.height;
    int left = in.rightJustifyButtons ? w - du.Dx(8) - row : (w - row) / 2;
    for (int i = 0; i < n; ++i) {
        out.buttons.push_back({left, top});
        left += in.button.width + du.Dx(4);
    }
    out.client = {w, h};
    return out;
}

} // namespace nemora::widgets

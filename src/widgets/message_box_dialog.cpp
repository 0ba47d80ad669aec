#include "widgets/message_box_dialog.h"

#include "widgets/dialog_units.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QStyle>

#include <climits>

namespace nemora::widgets {

// The message text, drawn with the same flags it was measured with, so wrapping always matches the
// size the layout reserved for it.
class MessageTextWidget : public QWidget {
public:
    MessageTextWidget(QWidget* parent, QString text, int flags)
        : QWidget(parent), m_text(std::move(text)), m_flags(flags)
    {}
    const QString& Text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(rect(), m_flags, m_text);
    }

private:
    QString m_text;
    int m_flags;
};

} // namespace nemora::widgets

using namespace nemora::widgets;

CMessageBoxDialog::CMessageBoxDialog(QWidget* pParent, const QString& strMessage, const QString& strCaption,
                                     std::uint32_t nStyle, std::uint32_t nHelpContext)
    : QDialog(pParent), m_strMessage(strMessage),
      m_strCaption(strCaption.isEmpty() ? QApplication::applicationName() : strCaption), m_nStyle(nStyle),
      m_nHelpContext(nHelpContext)
{}

CMessageBoxDialog::~CMessageBoxDialog() = default;

QString CMessageBoxDialog::RememberKey() const
{
    return QString::fromStdString(MessageBoxKey(m_strMessage.toStdString(), m_nHelpContext));
}

QPushButton* CMessageBoxDialog::Button(int nId) const
{
    auto it = m_buttons.find(nId);
    return it == m_buttons.end() ? nullptr : it->second;
}

QWidget* CMessageBoxDialog::TextWidget() const
{
    return m_pText;
}

int CMessageBoxDialog::DoModal()
{
    if (m_nStyle & (kStyleDontDisplayAgain | kStyleDontAskAgain)) {
        QSettings settings(kSettingsOrganization, kSettingsApplication);
        settings.beginGroup(kMessageBoxesGroup);
        const QVariant stored = settings.value(RememberKey());
        if (stored.isValid())
            return stored.toInt();
    }
    OnInitDialog();
    return exec();
}

bool CMessageBoxDialog::OnInitDialog()
{
    if (m_bInitialized)
        return true;
    m_bInitialized = true;

    setWindowTitle(m_strCaption);
    m_spec = BuildMessageBoxSpec(m_nStyle);
    m_du = nemora::widgets::DialogUnitsFor(font());
    const QFontMetrics fm(font());

    Size iconSize;
    if (m_spec.icon != MessageBoxIcon::None) {
        QStyle::StandardPixmap which = QStyle::SP_MessageBoxInformation;
        switch (m_spec.icon) {
        case MessageBoxIcon::Stop:
            which = QStyle::SP_MessageBoxCritical;
            break;
        case MessageBoxIcon::Question:
            which = QStyle::SP_MessageBoxQuestion;
            break;
        case MessageBoxIcon::Exclamation:
            which = QStyle::SP_MessageBoxWarning;
            break;
        default:
            break;
        }
        const int extent = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        m_pIcon = new QLabel(this);
        m_pIcon->setPixmap(style()->standardIcon(which, nullptr, this).pixmap(extent, extent));
        m_pIcon->setFocusPolicy(Qt::NoFocus);
        iconSize = {extent, extent};
    }

    const QScreen* screen = (parentWidget() ? parentWidget()->screen() : nullptr);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : 1024;
    const int maxWidth = MessageTextMaxWidth(screenWidth, m_du, iconSize.width);
    // Alignment is absolute: right-to-left reading order alone must not move the text to the right.
    int flags = Qt::TextWordWrap | Qt::AlignTop | Qt::AlignAbsolute |
                ((m_nStyle & kStyleRight) ? Qt::AlignRight : Qt::AlignLeft);
    const QRect textRect = fm.boundingRect(QRect(0, 0, maxWidth, INT_MAX / 4), flags, m_strMessage);
    m_pText = new MessageTextWidget(this, m_strMessage, flags);
    // The text is painted, not a label: screen readers get it as the text's name and the box's description.
    m_pText->setAccessibleName(m_strMessage);
    setAccessibleDescription(m_strMessage);
    if (m_nStyle & kStyleRtlReading)
        m_pText->setLayoutDirection(Qt::RightToLeft);

    Size checkSize;
    if (!m_spec.checkBoxText.empty()) {
        const QString text = QString::fromStdString(m_spec.checkBoxText);
        m_pCheckBox = new QCheckBox(text, this);
        m_pCheckBox->setChecked(true);
        checkSize = {fm.horizontalAdvance(text) + m_du.Dx(14), fm.height()};
    }

    Size largest;
    for (const MessageBoxButton& b : m_spec.buttons) {
        const QString caption = QString::fromStdString(b.caption);
        largest.width = std::max(largest.width, fm.horizontalAdvance(caption));
        largest.height = std::max(largest.height, fm.height());
    }
    const Size buttonSize = MessageBoxButtonSize(m_du, largest);
    for (const MessageBoxButton& b : m_spec.buttons) {
        auto* button = new QPushButton(QString::fromStdString(b.caption), this);
        button->setAutoDefault(true);
        const int id = b.id;
        connect(button, &QPushButton::clicked, this, [this, id] { OnButton(id); });
        m_buttons[id] = button;
    }

    MessageBoxLayoutInput in;
    in.du = m_du;
    in.icon = iconSize;
    in.text = {textRect.width(), textRect.height()};
    in.checkBox = checkSize;
    in.button = buttonSize;
    in.buttonCount = static_cast<int>(m_spec.buttons.size());
    in.rightJustifyButtons = m_nStyle & kStyleRightJustifyButtons;
    const MessageBoxLayout layout = LayOutMessageBox(in);

    if (m_pIcon)
        m_pIcon->setGeometry(layout.icon.x, layout.icon.y, iconSize.width, iconSize.height);
    m_pText->setGeometry(layout.text.x, layout.text.y, in.text.width, in.text.height);
    if (m_pCheckBox)
        m_pCheckBox->setGeometry(layout.checkBox.x, layout.checkBox.y, checkSize.width, checkSize.height);
    for (std::size_t i = 0; i < m_spec.buttons.size(); ++i) {
        m_buttons[m_spec.buttons[i].id]->setGeometry(layout.buttons[i].x, layout.buttons[i].y, buttonSize.width,
                                                     buttonSize.height);
    }
    setFixedSize(layout.client.width, layout.client.height);
    // An owner that is not on the screen (a hidden engine window) stands for the window it belongs to.
    QWidget* owner = parentWidget();
    while (owner && !owner->isVisible())
        owner = owner->parentWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    if (owner) {
        // Over the part of the owner the user sees: a page larger than its scrolled view has its centre
        // elsewhere, even off the screen.
        QRect seen = owner->visibleRegion().boundingRect();
        if (seen.isEmpty()) {
            owner = owner->window();
            seen = owner->rect();
        }
        const QPoint centre = owner->mapToGlobal(seen.center());
        move(centre.x() - width() / 2, centre.y() - height() / 2);
    } else if (screen) {
        const QRect area = screen->availableGeometry();
        move(area.center().x() - width() / 2, area.center().y() - height() / 2);
    }

    if (!(m_nStyle & kStyleNoSound))
        QApplication::beep();

    Qt::WindowFlags flagsOfWindow = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (m_spec.cancelId != -1)
        flagsOfWindow |= Qt::WindowCloseButtonHint;
    if (m_nStyle & kStyleTopmost)
        flagsOfWindow |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flagsOfWindow);
    setWindowModality((m_nStyle & kStyleSystemModal) || !parentWidget() ? Qt::ApplicationModal : Qt::WindowModal);
    if (m_nStyle & kStyleSetForeground) {
        raise();
        activateWindow();
    }

    if (QPushButton* def = Button(m_spec.defaultId)) {
        def->setDefault(true);
        def->setFocus();
    }
    return true;
}

void CMessageBoxDialog::OnButton(int nId)
{
    if (nId == kIdHelp) {
        if (m_helpHandler)
            m_helpHandler(m_nHelpContext);
        return;
    }
    done(nId);
}

void CMessageBoxDialog::done(int nResult)
{
    if (m_pCheckBox && m_pCheckBox->isChecked()) {
        QSettings settings(kSettingsOrganization, kSettingsApplication);
        settings.beginGroup(kMessageBoxesGroup);
        settings.setValue(RememberKey(), nResult);
    }
    QDialog::done(nResult);
}

void CMessageBoxDialog::reject()
{
    // Escape and the like: only a box with a cancel button can be dismissed.
    if (m_spec.cancelId != -1)
        done(m_spec.cancelId);
}

void CMessageBoxDialog::keyPressEvent(QKeyEvent* pEvent)
{
    const bool ctrlBreak = (pEvent->key() == Qt::Key_Pause && (pEvent->modifiers() & Qt::ControlModifier)) ||
                           pEvent->key() == Qt::Key_Cancel;
    if (pEvent->key() == Qt::Key_Escape || ctrlBreak) {
        reject();
        pEvent->accept();
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

void CMessageBoxDialog::closeEvent(QCloseEvent* pEvent)
{
    pEvent->ignore();
    reject();
}

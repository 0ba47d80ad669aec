#pragma once

#include <QFont>
#include <QWidget>

#include <functional>

class QLabel;

// The first tab: a picture, a large blue welcome line and how to connect the device in update mode.
class CPageWelcome : public QWidget {
    Q_OBJECT
public:
    // checkMagicFile is called once at initialisation; it reports by itself when the launch-counter file
    // cannot be opened.
    CPageWelcome(QWidget* pParent, std::function<void()> checkMagicFile);

    // Builds the picture and places the texts from the centre of the current client area.
    bool OnInitDialog();

    QLabel* Picture() const { return m_pPicture; }
    QLabel* Title() const { return m_staticTitle; }
    QLabel* Hint() const { return m_staticHint; }

    // Our own 251 x 199 welcome picture.
    static QImage WelcomePicture();

    // The room the picture and the texts need, centred as they are.
    QSize sizeHint() const override;

    static constexpr int kTemplateWidthDu = 306;
    static constexpr int kTemplateHeightDu = 187;

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    std::function<void()> m_checkMagicFile;
    QLabel* m_staticTitle;
    QLabel* m_staticHint;
    QLabel* m_pPicture = nullptr;
    QFont m_fontTitle;
    QFont m_fontHint;
};

#pragma once

// The window's own kinds of control: a bevelled panel, a surface its owner
// paints, the playback track bar with the activity under it, and a status bar
// of panels.

#include <QFrame>
#include <QSlider>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QLabel;
class QMenu;
class QPainter;

namespace kv::app {

// A panel with a bevel and a centred caption. An optional client widget fills the
// inside of the bevel whenever the panel is resized.
class Panel : public QFrame {
    Q_OBJECT
  public:
    explicit Panel(QWidget* parent = nullptr);

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

    QWidget* clientWidget() const { return client_; }
    void setClientWidget(QWidget* client);

  Q_SIGNALS:
    void doubleClicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QString caption_;
    QWidget* client_ = nullptr;
};

// A surface its owner paints into. With a paint hook installed the widget is
// opaque: the hook draws every pixel, so the background is not erased first.
// Without one it draws nothing and its parent shows through.
class PaintBox : public QWidget {
    Q_OBJECT
  public:
    using PaintHook = std::function<void(QPainter&)>;

    explicit PaintBox(QWidget* parent = nullptr);

    void setPaintHook(PaintHook hook);
    bool hasPaintHook() const { return static_cast<bool>(hook_); }

    // Opened at the cursor on a right click.
    QMenu* popupMenu() const { return popupMenu_; }
    void setPopupMenu(QMenu* menu) { popupMenu_ = menu; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    PaintHook hook_;
    QMenu* popupMenu_ = nullptr;
};

// The playback position track bar with the recording's activity drawn behind
// it: the motion of every frame as a thin graph, the trigger as a line, the
// frames recorded because something moved shaded, and the frames the heartbeat
// recorded as small grey ticks. A click beside the handle jumps there, not a
// page on.
class ActivityTrackBar : public QSlider {
    Q_OBJECT
  public:
    explicit ActivityTrackBar(QWidget* parent = nullptr);

    // One value per frame; moving marks the frames recorded by movement,
    // heartbeat those recorded by the heartbeat. Empty vectors clear it.
    void setActivity(std::vector<int> motion, std::vector<bool> moving, int trigger,
                     std::vector<bool> heartbeat = {});
    int activityFrames() const { return int(motion_.size()); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    // Where the handle's centre runs: from left, span pixels.
    struct Track {
        int left;
        int span;
    };
    Track track() const;
    // The x of a value's centre, and the value at an x, along the groove.
    int xOf(const Track& t, int value) const;
    int valueAt(int x) const;

    std::vector<int> motion_;
    std::vector<bool> moving_;
    std::vector<bool> heartbeat_;
    int trigger_ = 0;
};

// A status bar of fixed-width text panels addressed by index, or, built without
// widths, one simple text across the whole bar. Its panels use its whole height,
// so a text keeps its descenders in a bar of 19 pixels.
class PanelStatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit PanelStatusBar(const QList<int>& panelWidths, QWidget* parent = nullptr);

    int panelCount() const { return static_cast<int>(panels_.size()); }
    QString panelText(int index) const;
    void setPanelText(int index, const QString& text);

    bool isSimple() const { return simple_; }
    QString simpleText() const { return panelText(0); }
    void setSimpleText(const QString& text) { setPanelText(0, text); }

  private:
    QList<QLabel*> panels_;
    bool simple_ = false;
};

}  // namespace kv::app

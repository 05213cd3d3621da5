#pragma once

// The live picture on the Record page: its size inside the panel with the
// camera's aspect, the frames drawn into it with their stamp and state, and
// painting the motion mask on it with the mouse and keys.

#include "app/form_controls.h"
#include "capture/motion_mask.h"
#include "media/clock.h"
#include "media/frame.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QSize>

#include <cstdint>

class QKeyEvent;
class QPainter;

namespace kv::session {
class RecordingSession;
}

namespace kv::app {

class LivePanel : public QObject {
    Q_OBJECT
  public:
    // window: its palette colours the empty picture.
    LivePanel(const Form1Controls& controls, QWidget* window, session::RecordingSession& session,
              const media::Clock& clock);

    // What the record page shows, RGB32.
    const QImage& picture() const { return picture_; }
    // The camera's frame size: the picture's aspect. 0 on either side means 320 x 240.
    QSize frameSize() const { return frameSize_; }
    void setFrameSize(QSize size);
    // A cleared picture of this size, as a new window layout gives it.
    void resetPicture(QSize size);
    // Sizes the picture to fill the record panel with the frames' aspect.
    void fit();
    void clear();
    // A camera frame, scaled into the picture.
    void drawFrame(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format);
    // The time stamp and the recorder's state over the last frame.
    void stampFrame(int state);
    // Brush keys and undo while the mask is shown; false leaves the key to others.
    bool maskKey(const QKeyEvent& key);
    void showMaskHint();
    void PaintBoxRecordPaint(QPainter& painter);

  Q_SIGNALS:
    void maskSaveFailed(const QString& error);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPointF maskCellAt(QPointF position) const;
    bool paintMask(QEvent* event);
    void saveMask();
    void drawIndicator(QPainter& painter, int state);

    Form1Controls c_;
    QWidget* window_;
    session::RecordingSession& session_;
    const media::Clock& clock_;
    capture::MaskPainter maskPainter_;
    QImage picture_;
    QSize frameSize_{320, 240};
};

}  // namespace kv::app

#include "app/live_panel.h"

#include "app/window_layout.h"
#include "capture/frame_stamp.h"
#include "capture/grabber_callback.h"
#include "session/recording_session.h"

#include <QAction>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTabWidget>

Q_LOGGING_CATEGORY(lcLive, "kv.app.live", QtWarningMsg)

namespace kv::app {

LivePanel::LivePanel(const Form1Controls& controls, QWidget* window,
                     session::RecordingSession& session, const media::Clock& clock)
    : QObject(window),
      c_(controls),
      window_(window),
      session_(session),
      clock_(clock),
      maskPainter_(session.mask()) {
    c_.PaintBoxRecord->setPaintHook([this](QPainter& painter) { PaintBoxRecordPaint(painter); });
    c_.PaintBoxRecord->installEventFilter(this);
}

void LivePanel::setFrameSize(QSize size) {
    frameSize_ = size.width() == 0 || size.height() == 0 ? QSize(320, 240) : size;
}

void LivePanel::resetPicture(QSize size) {
    picture_ = QImage(size, QImage::Format_RGB32);
    clear();
}

void LivePanel::drawFrame(const std::uint8_t* pixels, const media::BITMAPINFOHEADER& format) {
    const QRect whole(QPoint(0, 0), picture_.size());
    QPainter live(&picture_);
    media::drawFrame(live, whole, pixels, format);
}

void LivePanel::stampFrame(int state) {
    QPainter live(&picture_);
    capture::drawStamp(live, picture_.width(), picture_.height(), clock_.now());
    drawIndicator(live, state);
    live.end();
    c_.PaintBoxRecord->update();
}

bool LivePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == c_.PaintBoxRecord && c_.cmShowMask->isChecked() && paintMask(event)) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

QPointF LivePanel::maskCellAt(QPointF position) const {
    const QRect picture = app::letterboxed(picture_.size(), c_.PaintBoxRecord->rect());
    if (picture.isEmpty()) {
        return {-1, -1};  // off the mask: paints nothing
    }
    return {(position.x() - picture.x()) * capture::MotionMask::kWidth / picture.width(),
            (position.y() - picture.y()) * capture::MotionMask::kHeight / picture.height()};
}

bool LivePanel::paintMask(QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) {
                return false;
            }
            // Left ignores; right, or Shift with the left, watches.
            const bool watched =
                mouse->button() == Qt::RightButton || (mouse->modifiers() & Qt::ShiftModifier);
            maskPainter_.begin(maskCellAt(mouse->position()), watched);
            c_.PaintBoxRecord->update();
            return true;
        }
        case QEvent::MouseMove:
            if (!maskPainter_.painting()) {
                return false;
            }
            maskPainter_.moveTo(maskCellAt(static_cast<QMouseEvent*>(event)->position()));
            c_.PaintBoxRecord->update();
            return true;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (!maskPainter_.painting()) {
                return false;
            }
            if (maskPainter_.end()) {
                saveMask();
            } else if (mouse->button() == Qt::RightButton) {
                // A right click that changed nothing still opens the menu.
                c_.PopUpFilter->popup(mouse->globalPosition().toPoint());
            }
            return true;
        }
        case QEvent::ContextMenu:
            return true;  // the right button paints; its release decides
        default:
            return false;
    }
}

bool LivePanel::maskKey(const QKeyEvent& key) {
    if (!c_.cmShowMask->isChecked() || c_.PageControl->currentWidget() != c_.tsRecord) {
        return false;
    }
    if (key.key() == Qt::Key_Z && (key.modifiers() & Qt::ControlModifier)) {
        if (maskPainter_.undo()) {
            saveMask();
            c_.PaintBoxRecord->update();
        }
        return true;
    }
    if (key.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) {
        return false;
    }
    switch (key.key()) {
        case Qt::Key_1:
        case Qt::Key_3:
        case Qt::Key_5:
            maskPainter_.setBrush(key.key() - Qt::Key_0);
            showMaskHint();
            return true;
        default:
            return false;
    }
}

void LivePanel::showMaskHint() {
    c_.PaintBoxRecord->setToolTip(
        c_.cmShowMask->isChecked()
            ? tr("Paint the mask: the left button ignores cells, the right button "
                 "(or Shift) watches them. Brush %1 (keys 1, 3, 5); Ctrl+Z undoes.")
                  .arg(maskPainter_.brush())
            : QString());
}

void LivePanel::saveMask() {
    QString error;
    if (!session_.saveMask(&error)) {
        qCWarning(lcLive).noquote() << error;
        Q_EMIT maskSaveFailed(error);
    }
}

void LivePanel::fit() {
    const QSize fitted =
        app::letterboxed(frameSize_, QRect(QPoint(0, 0), c_.PanelRecord->contentsRect().size()))
            .size();
    if (fitted.isEmpty() || fitted == picture_.size()) {
        return;
    }
    // What was shown, scaled, until the next frame is drawn at the new size.
    picture_ = picture_.isNull()
                   ? QImage(fitted, QImage::Format_RGB32)
                   : picture_.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_RGB32);
    c_.PaintBoxRecord->update();
}

void LivePanel::clear() {
    picture_.fill(window_->palette().color(QPalette::Button));
    c_.PaintBoxRecord->update();
}

void LivePanel::PaintBoxRecordPaint(QPainter& painter) {
    app::drawLetterboxed(painter, c_.PaintBoxRecord->rect(), picture_);
    // Drawn as the panel is painted, so that a stroke shows at once.
    if (c_.cmShowMask->isChecked() || c_.cmAutoSetMask->isChecked()) {
        session_.mask().drawOverlay(painter,
                                    app::letterboxed(picture_.size(), c_.PaintBoxRecord->rect()));
    }
}

void LivePanel::drawIndicator(QPainter& painter, int state) {
    QString text;
    painter.setRenderHint(QPainter::Antialiasing, false);
    if (state == session::StateRecord) {
        painter.setPen(QColor(255, 0, 0));
        painter.setBrush(QColor(255, 0, 0));
        painter.drawEllipse(QRect(5, 5, 10, 10));
        text = tr("Record");
    } else if (state == session::StatePause) {
        painter.setPen(Qt::white);
        painter.setBrush(Qt::white);
        painter.drawRect(QRect(5, 6, 3, 8));
        painter.drawRect(QRect(10, 6, 3, 8));
        text = tr("Pause (no movement)");
    } else {
        painter.setPen(Qt::white);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QRect(5, 5, 10, 10));
        text = tr("Off (Live)");
    }
    painter.setPen(Qt::white);
    painter.setBackgroundMode(Qt::TransparentMode);
    painter.drawText(QRect(20, 3, picture_.width() - 20, 20), Qt::AlignLeft | Qt::AlignTop, text);
}

}  // namespace kv::app

#include "app/form_widgets.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLoggingCategory>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionSlider>

#include <algorithm>

namespace kv::app {

namespace {
Q_LOGGING_CATEGORY(lcWidgets, "kv.app.widgets", QtInfoMsg)
}  // namespace

// --- Panel

Panel::Panel(QWidget* parent) : QFrame(parent) {}

void Panel::setCaption(const QString& caption) {
    caption_ = caption;
    update();
}

void Panel::setClientWidget(QWidget* client) {
    client_ = client;
    if (client_ != nullptr) {
        client_->setGeometry(contentsRect());
    }
}

void Panel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (!caption_.isEmpty()) {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(contentsRect(), Qt::AlignCenter, caption_);
    }
}

void Panel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    if (client_ != nullptr) {
        client_->setGeometry(contentsRect());
    }
}

void Panel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
        Q_EMIT doubleClicked();
        return;
    }
    QFrame::mouseDoubleClickEvent(event);
}

// --- PaintBox

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {}

void PaintBox::setPaintHook(PaintHook hook) {
    hook_ = std::move(hook);
    setAttribute(Qt::WA_OpaquePaintEvent, hasPaintHook());
    update();
}

void PaintBox::paintEvent(QPaintEvent* event) {
    Q_UNUSED(event);
    if (hook_) {
        QPainter painter(this);
        hook_(painter);
    }
}

void PaintBox::contextMenuEvent(QContextMenuEvent* event) {
    if (popupMenu_ == nullptr) {
        event->ignore();
        return;
    }
    event->accept();
    popupMenu_->popup(event->globalPos());
}

// --- PanelStatusBar

ActivityTrackBar::ActivityTrackBar(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::NoTicks);
}

void ActivityTrackBar::setActivity(std::vector<int> motion, std::vector<bool> moving, int trigger,
                                   std::vector<bool> heartbeat) {
    motion_ = std::move(motion);
    moving_ = std::move(moving);
    moving_.resize(motion_.size(), false);
    heartbeat_ = std::move(heartbeat);
    heartbeat_.resize(motion_.size(), false);
    trigger_ = trigger;
    update();
}

ActivityTrackBar::Track ActivityTrackBar::track() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect groove =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    return {groove.x() + handle.width() / 2, groove.width() - handle.width()};
}

int ActivityTrackBar::xOf(const Track& t, int value) const {
    return t.left + QStyle::sliderPositionFromValue(minimum(), maximum(), value, t.span);
}

int ActivityTrackBar::valueAt(int x) const {
    const Track t = track();
    return QStyle::sliderValueFromPosition(minimum(), maximum(), x - t.left, t.span);
}

void ActivityTrackBar::paintEvent(QPaintEvent* event) {
    if (!motion_.empty() && maximum() > minimum()) {
        QPainter p(this);
        const int h = height();
        // Per column the largest motion, whether anything there moved, and
        // whether the heartbeat recorded a frame there.
        const Track t = track();
        const int left = xOf(t, minimum());
        const int columns = std::max(xOf(t, maximum()) - left + 1, 1);
        std::vector<int> peak(std::size_t(columns), 0);
        std::vector<bool> moved(std::size_t(columns), false);
        std::vector<bool> beat(std::size_t(columns), false);
        for (std::size_t f = 0; f < motion_.size(); ++f) {
            const std::size_t c = std::size_t(std::clamp(xOf(t, int(f)) - left, 0, columns - 1));
            peak[c] = std::max(peak[c], motion_[f]);
            moved[c] = moved[c] || moving_[f];
            beat[c] = beat[c] || heartbeat_[f];
        }
        const int top = std::max({2 * trigger_, 1, *std::max_element(peak.begin(), peak.end())});
        for (int c = 0; c < columns; ++c) {
            if (moved[std::size_t(c)]) {
                p.fillRect(left + c, 0, 1, h, QColor(255, 200, 120));
            }
            if (beat[std::size_t(c)]) {
                // A quiet frame: a short grey tick from the top, never the movement colour.
                p.fillRect(left + c, 0, 1, std::max(h / 4, 2), QColor(140, 140, 140));
            }
            const int bar = peak[std::size_t(c)] * h / top;
            if (bar > 0) {
                p.fillRect(left + c, h - bar, 1, bar, QColor(40, 90, 200));
            }
        }
        if (trigger_ > 0) {
            const int y = h - 1 - trigger_ * h / top;
            p.setPen(QPen(QColor(220, 0, 0), 1));
            p.drawLine(left, y, left + columns - 1, y);
        }
    }
    QSlider::paintEvent(event);
}

void ActivityTrackBar::mousePressEvent(QMouseEvent* event) {
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    if (event->button() == Qt::LeftButton && !handle.contains(event->position().toPoint())) {
        setValue(valueAt(event->position().toPoint().x()));
        event->accept();
        return;
    }
    QSlider::mousePressEvent(event);
}

PanelStatusBar::PanelStatusBar(const QList<int>& panelWidths, QWidget* parent)
    : QWidget(parent), simple_(panelWidths.isEmpty()) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 1, 0, 0);
    row->setSpacing(2);
    // A width above 0 is fixed, 0 takes the room left, below 0 fits the text.
    auto addPanel = [this, row](int width) {
        auto* label = new QLabel(this);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        if (width > 0) {
            label->setFixedWidth(width);
        }
        label->setContentsMargins(2, 0, 2, 0);
        row->addWidget(label, width == 0 ? 1 : 0);
        panels_.append(label);
    };
    if (simple_) {
        addPanel(0);
    } else {
        for (int width : panelWidths) {
            addPanel(width);
        }
        if (!panelWidths.contains(0)) {
            row->addStretch(1);
        }
    }
}

QString PanelStatusBar::panelText(int index) const {
    if (index < 0 || index >= panels_.size()) {
        return {};
    }
    return panels_[index]->text();
}

void PanelStatusBar::setPanelText(int index, const QString& text) {
    if (index < 0 || index >= panels_.size()) {
        qCWarning(lcWidgets) << objectName() << "has no status panel" << index;
        return;
    }
    panels_[index]->setText(text);
    // A long message ("Camera lost: ...") does not fit a narrow panel.
    panels_[index]->setToolTip(text);
}

}  // namespace kv::app

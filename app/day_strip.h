#pragma once

// The day view's strip: one calendar day from midnight to midnight (or the
// hours it is zoomed to) with what was recorded on it, drawn in the colours
// of the playback track bar: the spans covered by recordings, movement
// shaded, the largest motion per pixel column, the trigger line, and the
// moment shown on the Playback page. Gaps stay plain. A click asks to go to
// a moment, hovering asks for its thumbnail; the wheel or + and - zoom.

#include "review/day_activity.h"

#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

namespace kv::app {

class DayStrip : public QWidget {
    Q_OBJECT
  public:
    explicit DayStrip(QWidget* parent = nullptr);

    // A new day is shown whole; the same day keeps its zoom. Null shows nothing.
    void setDay(std::shared_ptr<const review::DayActivity> day);
    const std::shared_ptr<const review::DayActivity>& day() const { return day_; }
    // The moment of the frame shown, or none.
    void setMarker(std::optional<qint64> time_ms);
    // Zooms in (steps > 0) or out about a moment, between ten minutes and the day;
    // zoomKey() about the moment shown, else the middle.
    void zoom(int steps, qint64 about_ms);
    void zoomKey(int steps);
    qint64 viewFrom() const { return from_; }
    qint64 viewTo() const { return to_; }
    qint64 timeAt(int x) const;
    int xAt(qint64 time_ms) const;

    QSize sizeHint() const override { return {320, 44}; }

  Q_SIGNALS:
    void clicked(qint64 time_ms);
    void hovered(qint64 time_ms, QPoint global);
    void hoverEnded();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    // The strip's graph area, above the hour labels.
    QRect graphRect() const;

    std::shared_ptr<const review::DayActivity> day_;
    std::optional<qint64> marker_;
    qint64 from_ = 0;
    qint64 to_ = 1;
    int wheelRest_ = 0;  // wheel angle not yet turned into a step
};

}  // namespace kv::app

#pragma once

// The property pages of an element: a modal dialog with one row per readable and
// writable GObject property, each change applied to the element at once. A bin
// also shows the properties of its sources; an element with a colour balance (a
// camera that is open, videobalance) also gets one slider per balance channel.
// Main thread only.

#include "media/gst_handle.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <vector>

class QFormLayout;

namespace kv::dialogs {

class PropertyDialog : public QDialog {
    Q_OBJECT
  public:
    // caption empty: the element's name (its name in its pipeline).
    explicit PropertyDialog(GstElement* element, const QString& caption = {},
                            QWidget* parent = nullptr);
    ~PropertyDialog() override;

    GstElement* element() const { return element_.get(); }

    // Reads every property again into its editor.
    void refresh();

  private:
    struct Row {
        GstElement* target = nullptr;  // the element or one of its parts
        GParamSpec* spec = nullptr;
        QWidget* editor = nullptr;
        std::function<void()> show;  // element's value into the editor
    };

    void addPropertyRows(QFormLayout* form, GstElement* target, const QString& prefix);
    void addPropertyRow(QFormLayout* form, GstElement* target, GParamSpec* spec,
                        const QString& prefix);
    void addColorBalance(QFormLayout* form);
    void apply(const Row& row, const GValue& value);

    media::Element element_;
    std::vector<media::Element> parts_;  // sources inside a bin, shown below its own rows
    media::Element balance_;             // the element or child with a colour balance, if any
    std::vector<Row> rows_;
    std::vector<std::function<void()>> balanceShows_;
};

// Shows the property dialog modally; does nothing for an empty element.
void ShowPropertyDialog(GstElement* element, const QString& caption = {},
                        QWidget* parent = nullptr);

}  // namespace kv::dialogs

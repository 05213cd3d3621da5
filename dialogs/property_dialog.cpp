#include "dialogs/property_dialog.h"

#include <gst/video/colorbalance.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <limits>

using namespace Qt::StringLiterals;

Q_LOGGING_CATEGORY(lcProperties, "kv.dialogs.properties", QtInfoMsg)

namespace kv::dialogs {

using media::adopt;
using media::Chars;
using media::Element;
using media::share;

namespace {

// A GValue that unsets itself.
struct Value {
    GValue v = G_VALUE_INIT;
    explicit Value(GType type) { g_value_init(&v, type); }
    ~Value() { g_value_unset(&v); }
    Value(const Value&) = delete;
    Value& operator=(const Value&) = delete;
};

QString text(const gchar* s) {
    return s ? QString::fromUtf8(s) : QString();
}

enum class IntKind { None, Signed, Unsigned };

struct IntInfo {
    IntKind kind = IntKind::None;
    qint64 smin = 0, smax = 0;
    quint64 umin = 0, umax = 0;

    bool fitsSpinBox() const {
        return kind == IntKind::Signed ? smin >= INT_MIN && smax <= INT_MAX : umax <= INT_MAX;
    }
};

IntInfo intInfo(GParamSpec* spec) {
    IntInfo info;
    auto setSigned = [&](qint64 lo, qint64 hi) { info = {IntKind::Signed, lo, hi, 0, 0}; };
    auto setUnsigned = [&](quint64 lo, quint64 hi) { info = {IntKind::Unsigned, 0, 0, lo, hi}; };
    if (G_IS_PARAM_SPEC_INT(spec)) {
        setSigned(G_PARAM_SPEC_INT(spec)->minimum, G_PARAM_SPEC_INT(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_LONG(spec)) {
        setSigned(G_PARAM_SPEC_LONG(spec)->minimum, G_PARAM_SPEC_LONG(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_INT64(spec)) {
        setSigned(G_PARAM_SPEC_INT64(spec)->minimum, G_PARAM_SPEC_INT64(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_CHAR(spec)) {
        setSigned(G_PARAM_SPEC_CHAR(spec)->minimum, G_PARAM_SPEC_CHAR(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_UINT(spec)) {
        setUnsigned(G_PARAM_SPEC_UINT(spec)->minimum, G_PARAM_SPEC_UINT(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_ULONG(spec)) {
        setUnsigned(G_PARAM_SPEC_ULONG(spec)->minimum, G_PARAM_SPEC_ULONG(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_UINT64(spec)) {
        setUnsigned(G_PARAM_SPEC_UINT64(spec)->minimum, G_PARAM_SPEC_UINT64(spec)->maximum);
    } else if (G_IS_PARAM_SPEC_UCHAR(spec)) {
        setUnsigned(G_PARAM_SPEC_UCHAR(spec)->minimum, G_PARAM_SPEC_UCHAR(spec)->maximum);
    }
    return info;
}

qint64 signedValue(const GValue& v) {
    switch (G_VALUE_TYPE(&v)) {
        case G_TYPE_INT:
            return g_value_get_int(&v);
        case G_TYPE_LONG:
            return g_value_get_long(&v);
        case G_TYPE_INT64:
            return g_value_get_int64(&v);
        case G_TYPE_CHAR:
            return g_value_get_schar(&v);
        default:
            return 0;
    }
}

quint64 unsignedValue(const GValue& v) {
    switch (G_VALUE_TYPE(&v)) {
        case G_TYPE_UINT:
            return g_value_get_uint(&v);
        case G_TYPE_ULONG:
            return g_value_get_ulong(&v);
        case G_TYPE_UINT64:
            return g_value_get_uint64(&v);
        case G_TYPE_UCHAR:
            return g_value_get_uchar(&v);
        default:
            return 0;
    }
}

void setSignedValue(GValue& v, qint64 x) {
    switch (G_VALUE_TYPE(&v)) {
        case G_TYPE_INT:
            g_value_set_int(&v, gint(x));
            break;
        case G_TYPE_LONG:
            g_value_set_long(&v, glong(x));
            break;
        case G_TYPE_INT64:
            g_value_set_int64(&v, gint64(x));
            break;
        case G_TYPE_CHAR:
            g_value_set_schar(&v, gint8(x));
            break;
        default:
            break;
    }
}

void setUnsignedValue(GValue& v, quint64 x) {
    switch (G_VALUE_TYPE(&v)) {
        case G_TYPE_UINT:
            g_value_set_uint(&v, guint(x));
            break;
        case G_TYPE_ULONG:
            g_value_set_ulong(&v, gulong(x));
            break;
        case G_TYPE_UINT64:
            g_value_set_uint64(&v, guint64(x));
            break;
        case G_TYPE_UCHAR:
            g_value_set_uchar(&v, guchar(x));
            break;
        default:
            break;
    }
}

// Construct-only properties, and those the element refuses in its present
// state, are shown but not edited. The name keeps the element findable.
bool editableNow(GParamSpec* spec, GstElement* element) {
    if (!(spec->flags & G_PARAM_WRITABLE) || (spec->flags & G_PARAM_CONSTRUCT_ONLY)) {
        return false;
    }
    const QByteArray name(g_param_spec_get_name(spec));
    if (name == "name" || name == "parent") {
        return false;
    }
    GstState state = GST_STATE_NULL;
    GST_OBJECT_LOCK(element);
    state = GST_STATE(element);
    GST_OBJECT_UNLOCK(element);
    if (spec->flags & GST_PARAM_MUTABLE_PLAYING) {
        return true;
    }
    if (spec->flags & GST_PARAM_MUTABLE_PAUSED) {
        return state <= GST_STATE_PAUSED;
    }
    if (spec->flags & GST_PARAM_MUTABLE_READY) {
        return state <= GST_STATE_READY;
    }
    return true;
}

QString flagsText(const GValue& v) {
    auto* flagsClass = static_cast<GFlagsClass*>(g_type_class_ref(G_VALUE_TYPE(&v)));
    const guint flags = g_value_get_flags(&v);
    QStringList nicks;
    for (guint i = 0; i < flagsClass->n_values; ++i) {
        const GFlagsValue& value = flagsClass->values[i];
        if (value.value != 0 && (flags & value.value) == value.value) {
            nicks.append(text(value.value_nick));
        }
    }
    g_type_class_unref(flagsClass);
    return nicks.isEmpty() ? QCoreApplication::translate("kv::dialogs::PropertyDialog", "(none)")
                           : nicks.join(u'+');
}

// The direct children of a bin that are sources.
std::vector<Element> sourcesOf(GstBin* bin) {
    std::vector<Element> sources;
    GstIterator* it = gst_bin_iterate_sources(bin);
    GValue item = G_VALUE_INIT;
    bool done = false;
    while (!done) {
        switch (gst_iterator_next(it, &item)) {
            case GST_ITERATOR_OK:
                sources.push_back(share(GST_ELEMENT(g_value_get_object(&item))));
                g_value_reset(&item);
                break;
            case GST_ITERATOR_RESYNC:
                sources.clear();
                gst_iterator_resync(it);
                break;
            default:
                done = true;
                break;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    // The iterator goes from the last added; show them in the bin's order.
    std::reverse(sources.begin(), sources.end());
    return sources;
}

QString valueContents(const GValue& v) {
    // Some boxed types cannot describe an empty value without complaint.
    if ((G_VALUE_HOLDS_BOXED(&v) && !g_value_get_boxed(&v)) ||
        (G_VALUE_HOLDS_OBJECT(&v) && !g_value_get_object(&v)) ||
        (G_VALUE_HOLDS_POINTER(&v) && !g_value_get_pointer(&v))) {
        return QCoreApplication::translate("kv::dialogs::PropertyDialog", "(none)");
    }
    Chars contents = adopt(g_strdup_value_contents(&v));
    return text(contents.get());
}

}  // namespace

PropertyDialog::PropertyDialog(GstElement* element, const QString& caption, QWidget* parent)
    : QDialog(parent), element_(share(element)) {
    setObjectName(u"PropertyDialog"_s);
    QString title = caption;
    if (title.isEmpty() && element_) {
        Chars name = adopt(gst_object_get_name(GST_OBJECT(element_.get())));
        title = text(name.get());
    }
    setWindowTitle(title);

    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    if (element_) {
        addPropertyRows(form, element_.get(), QString());
        // A camera that is a bin of our own making: the properties of its
        // sources too (the test pattern, the URI), each under its name.
        if (GST_IS_BIN(element_.get())) {
            for (Element& source : sourcesOf(GST_BIN(element_.get()))) {
                Chars name = adopt(gst_object_get_name(GST_OBJECT(source.get())));
                auto* heading = new QLabel(u"<b>"_s + text(name.get()).toHtmlEscaped() + u"</b>"_s);
                form->addRow(heading);
                addPropertyRows(form, source.get(), text(name.get()) + u'.');
                parts_.push_back(std::move(source));
            }
        }
        addColorBalance(form);
    }

    auto* scroll = new QScrollArea(this);
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll);
    layout->addWidget(buttons);
    resize(480, 460);
}

PropertyDialog::~PropertyDialog() {
    // The editors outlive the rows while the widget tree is torn down.
    for (QObject* editor : findChildren<QWidget*>()) {
        disconnect(editor, nullptr, this, nullptr);
    }
}

void PropertyDialog::refresh() {
    for (const Row& row : rows_) {
        row.show();
    }
    for (const auto& show : balanceShows_) {
        show();
    }
}

void PropertyDialog::addPropertyRows(QFormLayout* form, GstElement* target, const QString& prefix) {
    guint count = 0;
    GParamSpec** specs = g_object_class_list_properties(G_OBJECT_GET_CLASS(target), &count);
    for (guint i = 0; i < count; ++i) {
        const GParamFlags flags = specs[i]->flags;
        if ((flags & G_PARAM_READABLE) && (flags & G_PARAM_WRITABLE)) {
            addPropertyRow(form, target, specs[i], prefix);
        }
    }
    g_free(specs);
}

void PropertyDialog::apply(const Row& row, const GValue& value) {
    g_object_set_property(G_OBJECT(row.target), g_param_spec_get_name(row.spec), &value);
    // The element may have adjusted the value; show what it holds.
    row.show();
}

void PropertyDialog::addPropertyRow(QFormLayout* form, GstElement* target, GParamSpec* spec,
                                    const QString& prefix) {
    GObject* object = G_OBJECT(target);
    const char* name = g_param_spec_get_name(spec);
    const GType type = G_PARAM_SPEC_VALUE_TYPE(spec);
    const bool editable = editableNow(spec, target);
    auto read = [object, name, type]() {
        auto value = std::make_unique<Value>(type);
        g_object_get_property(object, name, &value->v);
        return value;
    };

    Row row;
    row.target = target;
    row.spec = spec;
    const size_t index = rows_.size();
    auto rowAt = [this, index]() -> const Row& { return rows_[index]; };

    const IntInfo ints = intInfo(spec);
    if (ints.kind != IntKind::None && ints.fitsSpinBox()) {
        auto* spin = new QSpinBox;
        spin->setKeyboardTracking(false);
        if (ints.kind == IntKind::Signed) {
            spin->setRange(int(ints.smin), int(ints.smax));
        } else {
            spin->setRange(int(ints.umin), int(ints.umax));
        }
        row.show = [spin, read, ints] {
            const auto value = read();
            const QSignalBlocker block(spin);
            spin->setValue(ints.kind == IntKind::Signed ? int(signedValue(value->v))
                                                        : int(unsignedValue(value->v)));
        };
        connect(spin, &QSpinBox::valueChanged, this, [this, rowAt, type, ints](int x) {
            Value value(type);
            if (ints.kind == IntKind::Signed) {
                setSignedValue(value.v, x);
            } else {
                setUnsignedValue(value.v, quint64(x));
            }
            apply(rowAt(), value.v);
        });
        row.editor = spin;
    } else if (ints.kind != IntKind::None) {
        // Ranges beyond a spin box's: the number as text, checked on entry.
        auto* edit = new QLineEdit;
        row.show = [edit, read, ints] {
            const auto value = read();
            const QSignalBlocker block(edit);
            edit->setText(ints.kind == IntKind::Signed ? QString::number(signedValue(value->v))
                                                       : QString::number(unsignedValue(value->v)));
        };
        connect(edit, &QLineEdit::editingFinished, this, [this, rowAt, edit, type, ints, name] {
            Value value(type);
            bool ok = false;
            if (ints.kind == IntKind::Signed) {
                const qint64 x = edit->text().trimmed().toLongLong(&ok);
                ok = ok && x >= ints.smin && x <= ints.smax;
                setSignedValue(value.v, x);
            } else {
                const quint64 x = edit->text().trimmed().toULongLong(&ok);
                ok = ok && x >= ints.umin && x <= ints.umax;
                setUnsignedValue(value.v, x);
            }
            if (!ok) {
                qCWarning(lcProperties) << "not a value for" << name << ":" << edit->text();
                rowAt().show();
                return;
            }
            apply(rowAt(), value.v);
        });
        row.editor = edit;
    } else if (G_IS_PARAM_SPEC_DOUBLE(spec) || G_IS_PARAM_SPEC_FLOAT(spec)) {
        const bool isDouble = G_IS_PARAM_SPEC_DOUBLE(spec);
        double lo =
            isDouble ? G_PARAM_SPEC_DOUBLE(spec)->minimum : G_PARAM_SPEC_FLOAT(spec)->minimum;
        double hi =
            isDouble ? G_PARAM_SPEC_DOUBLE(spec)->maximum : G_PARAM_SPEC_FLOAT(spec)->maximum;
        // Keep the box a usable width; such extremes cannot be typed anyway.
        constexpr double kWidest = 1e12;
        lo = qMax(lo, -kWidest);
        hi = qMin(hi, kWidest);
        auto* spin = new QDoubleSpinBox;
        spin->setKeyboardTracking(false);
        spin->setDecimals(4);
        spin->setRange(lo, hi);
        spin->setSingleStep(hi - lo <= 10.0 ? 0.01 : 1.0);
        row.show = [spin, read, isDouble] {
            const auto value = read();
            const QSignalBlocker block(spin);
            spin->setValue(isDouble ? g_value_get_double(&value->v)
                                    : double(g_value_get_float(&value->v)));
        };
        connect(spin, &QDoubleSpinBox::valueChanged, this, [this, rowAt, type, isDouble](double x) {
            Value value(type);
            if (isDouble) {
                g_value_set_double(&value.v, x);
            } else {
                g_value_set_float(&value.v, float(x));
            }
            apply(rowAt(), value.v);
        });
        row.editor = spin;
    } else if (G_IS_PARAM_SPEC_BOOLEAN(spec)) {
        auto* check = new QCheckBox;
        row.show = [check, read] {
            const auto value = read();
            const QSignalBlocker block(check);
            check->setChecked(g_value_get_boolean(&value->v));
        };
        connect(check, &QCheckBox::toggled, this, [this, rowAt, type](bool on) {
            Value value(type);
            g_value_set_boolean(&value.v, on);
            apply(rowAt(), value.v);
        });
        row.editor = check;
    } else if (G_IS_PARAM_SPEC_ENUM(spec)) {
        auto* combo = new QComboBox;
        GEnumClass* enumClass = G_PARAM_SPEC_ENUM(spec)->enum_class;
        for (guint i = 0; i < enumClass->n_values; ++i) {
            combo->addItem(text(enumClass->values[i].value_nick), enumClass->values[i].value);
        }
        row.show = [combo, read] {
            const auto value = read();
            const QSignalBlocker block(combo);
            combo->setCurrentIndex(combo->findData(g_value_get_enum(&value->v)));
        };
        connect(combo, &QComboBox::currentIndexChanged, this, [this, rowAt, combo, type](int i) {
            if (i < 0) {
                return;
            }
            Value value(type);
            g_value_set_enum(&value.v, combo->itemData(i).toInt());
            apply(rowAt(), value.v);
        });
        row.editor = combo;
    } else if (G_IS_PARAM_SPEC_STRING(spec)) {
        auto* edit = new QLineEdit;
        row.show = [edit, read] {
            const auto value = read();
            const QSignalBlocker block(edit);
            edit->setText(text(g_value_get_string(&value->v)));
        };
        connect(edit, &QLineEdit::editingFinished, this, [this, rowAt, edit, type, read] {
            const QByteArray wanted = edit->text().toUtf8();
            if (wanted == QByteArray(g_value_get_string(&read()->v))) {
                return;
            }
            Value value(type);
            g_value_set_string(&value.v, wanted.constData());
            apply(rowAt(), value.v);
        });
        row.editor = edit;
    } else {
        // Flags and every other type: shown, not edited.
        auto* edit = new QLineEdit;
        const bool isFlags = G_IS_PARAM_SPEC_FLAGS(spec);
        row.show = [edit, read, isFlags] {
            const auto value = read();
            edit->setText(isFlags ? flagsText(value->v) : valueContents(value->v));
            edit->setCursorPosition(0);
        };
        edit->setReadOnly(true);
        row.editor = edit;
    }

    if (!editable) {
        if (auto* edit = qobject_cast<QLineEdit*>(row.editor)) {
            edit->setReadOnly(true);
        } else {
            row.editor->setEnabled(false);
        }
    }
    row.editor->setObjectName(prefix + QString::fromUtf8(name));
    row.editor->setToolTip(text(g_param_spec_get_blurb(spec)));
    rows_.push_back(row);
    rows_.back().show();
    form->addRow(QString::fromUtf8(name) + u':', row.editor);
}

void PropertyDialog::addColorBalance(QFormLayout* form) {
    GstElement* element = element_.get();
    if (GST_IS_COLOR_BALANCE(element)) {
        balance_ = share(element);
    } else if (GST_IS_BIN(element)) {
        balance_ = adopt(gst_bin_get_by_interface(GST_BIN(element), GST_TYPE_COLOR_BALANCE));
    }
    if (!balance_) {
        return;
    }
    GstColorBalance* balance = GST_COLOR_BALANCE(balance_.get());
    // A camera lists its channels only while it is open; a closed one shows none.
    const GList* channels = gst_color_balance_list_channels(balance);
    if (!channels) {
        return;
    }
    auto* group = new QGroupBox(tr("Colour balance"));
    group->setObjectName(u"ColourBalance"_s);
    auto* groupForm = new QFormLayout(group);
    // Channels are found again by label on each change: the element owns them.
    auto findChannel = [balance](const QByteArray& label) -> GstColorBalanceChannel* {
        for (const GList* l = gst_color_balance_list_channels(balance); l; l = l->next) {
            auto* channel = static_cast<GstColorBalanceChannel*>(l->data);
            if (label == channel->label) {
                return channel;
            }
        }
        return nullptr;
    };
    for (const GList* l = channels; l; l = l->next) {
        auto* channel = static_cast<GstColorBalanceChannel*>(l->data);
        const QByteArray label(channel->label);
        auto* slider = new QSlider(Qt::Horizontal);
        slider->setObjectName(QString::fromUtf8(label));
        slider->setRange(channel->min_value, channel->max_value);
        auto show = [slider, findChannel, balance, label] {
            if (GstColorBalanceChannel* found = findChannel(label)) {
                const QSignalBlocker block(slider);
                slider->setValue(gst_color_balance_get_value(balance, found));
            }
        };
        connect(slider, &QSlider::valueChanged, this, [findChannel, balance, label](int x) {
            if (GstColorBalanceChannel* found = findChannel(label)) {
                gst_color_balance_set_value(balance, found, x);
            }
        });
        show();
        balanceShows_.push_back(show);
        groupForm->addRow(QString::fromUtf8(label) + u':', slider);
    }
    form->addRow(group);
}

void ShowPropertyDialog(GstElement* element, const QString& caption, QWidget* parent) {
    if (!element) {
        return;
    }
    PropertyDialog dialog(element, caption, parent);
    dialog.exec();
}

}  // namespace kv::dialogs

// The window is one plain top-level widget with its controls placed by hand
// at their twip positions; there is no layout, so nothing moves a control
// into view.  The window's size is fixed, so the controls beyond the client
// area stay out of view and out of reach of the mouse.  The buttons take no
// focus, have no shortcuts and are never the default button, so the
// keyboard cannot reach them either: the tab chain holds only the text box
// and the list.
//
// Nothing here runs an event loop of its own except a modal box: the window
// handles its events only when the run calls DoEvents or shows a box.
// Captions are shown as plain text, exactly as given; the window object keeps
// its own copy, so nothing here is ever read back by the run.
#include "app/qt_display.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QString>
#include <QWidget>

#include "app/window_layout.h"

namespace addbook {
namespace {

using layout::Place;

QString ToQString(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

// A button's text with every '&' shown as itself, not as a shortcut marker.
QString ButtonText(std::u16string_view text) {
  return ToQString(text).replace(u'&', QStringLiteral("&&"));
}

// A window title shown as given: Qt takes "[*]" as the place of the
// modified mark unless it is doubled.
QString WindowTitle(std::u16string_view text) {
  return ToQString(text).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

}  // namespace

class QtDisplay::Window : public QWidget {
 public:
  explicit Window(QtDisplay& display) : display_(display) {}

 protected:
  // The window always closes; the run learns of it at its event point.
  void closeEvent(QCloseEvent* event) override {
    display_.delivery_.Deliver([](DisplayEvents& events) { events.Closing(); });
    event->accept();
  }

 private:
  QtDisplay& display_;
};

QtDisplay::QtDisplay() : window_(std::make_unique<Window>(*this)) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen ? screen->logicalDotsPerInch() : 96.0;
  auto px = [dpi](int twips) { return qRound(twips * dpi / double(layout::kTwipsPerInch)); };
  auto place = [&px](QWidget* widget, const Place& p) {
    widget->setObjectName(QString::fromLatin1(p.name));
    widget->setGeometry(px(p.left), px(p.top), px(p.width), px(p.height));
  };

  window_->setWindowTitle(WindowTitle(kWindowTitle));
  window_->setFixedSize(px(layout::kClientWidth), px(layout::kClientHeight));

  for (const Place& p : layout::kPlaces) {
    QWidget* widget;
    if (p.control == Control::kText1) {
      widget = new QLineEdit(window_.get());
    } else if (layout::IsButton(p.control)) {
      auto* button = new QPushButton(window_.get());
      button->setFocusPolicy(Qt::NoFocus);
      button->setAutoDefault(false);
      button->setDefault(false);
      const Control control = p.control;
      QObject::connect(button, &QPushButton::clicked, button, [this, control] {
        delivery_.Deliver([control](DisplayEvents& events) { events.Clicked(control); });
      });
      widget = button;
    } else {
      auto* label = new QLabel(window_.get());
      label->setTextFormat(Qt::PlainText);
      widget = label;
    }
    place(widget, p);
    controls_[static_cast<size_t>(p.control)] = widget;
  }
  list_ = new QListWidget(window_.get());
  place(list_, layout::kList1);

  // The captions at start.
  ShowCaption(Control::kFirst, u"First");
  ShowCaption(Control::kCommand1, u"Next");
  ShowCaption(Control::kCommand2, u"ALL");
}

QtDisplay::~QtDisplay() = default;

QWidget* QtDisplay::window() const { return window_.get(); }

void QtDisplay::AddListLine(std::u16string_view line) { list_->addItem(ToQString(line)); }

void QtDisplay::ShowCaption(Control control, std::u16string_view text) {
  QWidget* widget = controls_[static_cast<size_t>(control)];
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(ToQString(text));
  } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
    button->setText(ButtonText(text));
  } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(ToQString(text));
  }
}

void QtDisplay::MsgBox(std::u16string_view prompt, BoxStyle style, std::u16string_view title) {
  QMessageBox box(window_.get());
  box.setWindowTitle(WindowTitle(title.empty() ? kDefaultTitle : title));
  box.setTextFormat(Qt::PlainText);
  box.setText(ToQString(prompt));
  box.setIcon(style == BoxStyle::kCritical ? QMessageBox::Critical : QMessageBox::NoIcon);
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  delivery_.RethrowPending();
}

void QtDisplay::ShowWindow() { window_->show(); }

void QtDisplay::Repaint() { window_->repaint(); }

void QtDisplay::DoEvents() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  delivery_.RethrowPending();
}
}  // namespace addbook

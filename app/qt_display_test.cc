// The desktop window on Qt's offscreen platform, and through the qt_test_xvfb
// entry on a real X server: at 96 dpi on both, where one pixel is 15 twips.
#include "app/qt_display.h"

#include <gtest/gtest.h>

#include <QtWidgets>

namespace addbook {
namespace {

QString Q(std::u16string_view s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

// The window has a fixed size and shows the list, its lines in the order
// added, Arabic as given, and nothing else: the other controls lie beyond its
// edges.  No button takes the focus, and a button's '&' makes no shortcut:
// the keyboard reaches no button.
TEST(QtDisplayTest, OnlyTheListInView) {
  QtDisplay display;
  QWidget* window = display.window();
  EXPECT_EQ(window->windowTitle(), "Varnel - Adding Book");
  EXPECT_TRUE(window->minimumSize() == QSize(433, 79) && window->maximumSize() == QSize(433, 79));
  EXPECT_EQ(window->findChild<QWidget*>("List1")->geometry(), QRect(8, 8, 425, 69));
  EXPECT_EQ(window->findChild<QWidget*>("Command2")->geometry(), QRect(464, 328, 113, 25));
  for (const QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_EQ(window->rect().intersects(control->geometry()), control->objectName() == "List1")
        << control->objectName().toStdString();
  }
  display.ShowCaption(Control::kFirst, u"F&irst");
  for (const QPushButton* button : window->findChildren<QPushButton*>()) {
    EXPECT_TRUE(button->focusPolicy() == Qt::NoFocus && button->shortcut().isEmpty());
  }
  const std::u16string_view lines[] = {u"باب ما جاء في العلم", u"b", u"a"};
  for (std::u16string_view line : lines) display.AddListLine(line);
  auto* list = window->findChild<QListWidget*>("List1");
  ASSERT_EQ(list->count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(list->item(i)->text(), Q(lines[i]));
}

// A box is modal, in plain text, with OK only; the title is the default one
// unless given, shown as given; the stop icon only when critical.
TEST(QtDisplayTest, BoxesWaitForOk) {
  const std::u16string_view prompt = u"لا يوجد\r\n<b>x</b>";
  using Seen = std::tuple<QString, QString, Qt::TextFormat, int, QMessageBox::Icon>;
  for (const auto& [style, title, shown, icon] :
       {std::tuple{BoxStyle::kPlain, u"", "Adding Book", QMessageBox::NoIcon},
        {BoxStyle::kCritical, u"DB Error [*]", "DB Error [*]", QMessageBox::Critical}}) {
    Seen seen;
    QTimer::singleShot(0, [&seen] {  // once the box is open
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        seen = {box->text(), box->windowHandle()->title(), box->textFormat(),
                box->standardButtons(), box->icon()};
        box->button(QMessageBox::Ok)->click();
      }
    });
    QtDisplay display;
    display.MsgBox(prompt, style, title);  // returns once OK is pressed
    EXPECT_EQ(seen, Seen(Q(prompt), shown, Qt::PlainText, QMessageBox::Ok, icon));
  }
}

// Closing the window reaches the run, which stops at its next event point.
TEST(QtDisplayTest, ClosingReachesTheRun) {
  struct : DisplayEvents {
    void Closing() override { ++closings; }
    void Clicked(Control) override {}
    int closings = 0;
  } events;
  QtDisplay display;
  display.SetEvents(&events);
  display.window()->close();
  EXPECT_EQ(events.closings, 1);
}

}  // namespace
}  // namespace addbook

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

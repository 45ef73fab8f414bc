// The desktop window on Qt's offscreen platform at 96 dpi, where one pixel is
// 15 twips; and, through the qt_test_xvfb entry, on a real X server.
#include "app/qt_display.h"

#include <gmock/gmock.h>

#include <QtWidgets>
#include <fstream>

#include "app/form1.h"
#include "app/window_layout.h"
#include "db/test_host.h"

namespace addbook {
namespace {

QString Q(std::u16string_view s) { return QString::fromUtf16(s.data(), qsizetype(s.size())); }

TEST(QtDisplayTest, TheWindowAndItsControls) {
  QtDisplay display;
  QWidget* window = display.window();
  EXPECT_EQ(window->size(), QSize(layout::kClientWidth, layout::kClientHeight) / 15);
  std::vector<layout::Place> places(std::begin(layout::kPlaces), std::end(layout::kPlaces));
  places.push_back(layout::kList1);
  for (const layout::Place& place : places) {
    SCOPED_TRACE(place.name);
    QWidget* control = window->findChild<QWidget*>(place.name);
    ASSERT_TRUE(control && !control->isHidden() && control->isEnabled());
    EXPECT_EQ(control->geometry(),
              QRect(place.left / 15, place.top / 15, place.width / 15, place.height / 15));
    EXPECT_EQ(window->rect().intersects(control->geometry()), &place == &places.back());
  }
  // Activating the window focuses the text box; Tab then goes back and forth
  // between it and the list, never to a button.
  QApplication::setActiveWindow(window);
  for (int i = 0; i < 4; ++i) {
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(QApplication::focusWidget(), &tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), i % 2 ? "Text1" : "List1");
  }

  // Captions read back exactly as stored; a button's '&' marks no shortcut.
  for (std::u16string_view text : {u"كتاب العلم  \r\n", u"a & b", u"[*]", u"  eof \r\n"}) {
    SCOPED_TRACE(Q(text).toStdString());
    display.ShowCaption(Control::kPhase, text);
    display.ShowCaption(Control::kFirst, text);
    EXPECT_EQ(window->findChild<QLabel*>("lPhase")->text(), Q(text));
    EXPECT_EQ(window->findChild<QPushButton*>("First")->text().replace("&&", "&"), Q(text));
    EXPECT_TRUE(window->findChild<QPushButton*>("First")->shortcut().isEmpty());
  }

  // A click's handler runs inside Qt's event delivery; what it throws reaches
  // the run at its next event point, once.
  struct : DisplayEvents {
    void Closing() override {}
    void Clicked(Control button) override { throw button; }
  } events;
  display.SetEvents(&events);
  display.window()->findChild<QPushButton*>("Command2")->click();
  EXPECT_THAT([&] { display.DoEvents(); }, testing::Throws<Control>(Control::kCommand2));
  EXPECT_NO_THROW(display.DoEvents());
}

TEST(QtDisplayTest, ModalBoxesWithOkOnly) {
  const std::u16string_view prompt = u"لا يوجد\r\n<b>x</b>";
  using Row = std::tuple<BoxStyle, std::u16string_view, QMessageBox::Icon, QString>;
  for (const Row& row :
       {Row{BoxStyle::kPlain, u"", QMessageBox::NoIcon, "Adding Book"},
        Row{BoxStyle::kCritical, u"DB Error [*]", QMessageBox::Critical, "DB Error [*]"}}) {
    // Named copies: clang before 16 cannot capture structured bindings in a lambda.
    const auto& [style, title, icon, shown_title] = row;
    const QMessageBox::Icon want_icon = icon;
    const QString want_title = shown_title;
    SCOPED_TRACE(shown_title.toStdString());
    QtDisplay display;
    QTimer::singleShot(0, [&] {  // once the box is open
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      EXPECT_TRUE(box->textFormat() == Qt::PlainText && box->standardButtons() == QMessageBox::Ok);
      EXPECT_EQ(box->text(), Q(prompt));
      EXPECT_EQ(box->windowHandle()->title(), want_title);
      EXPECT_EQ(box->icon(), want_icon);
      box->button(QMessageBox::Ok)->click();
    });
    display.MsgBox(prompt, style, title);  // returns once OK is pressed
  }
}

// A small book through the window, to its end or until the user closes the
// window once the first failure line is listed.  The book's title insert
// fails (no Titles table), so the run lists lines and handles events on its
// failure path.
TEST(QtRunTest, RunsABookThroughTheWindow) {
  using Row = std::tuple<bool, RunOutcome, int, const char*>;
  for (const Row& row :
       {Row{false, RunOutcome::kFinished, 5, "1"}, Row{true, RunOutcome::kClosed, 3, "0"}}) {
    const auto& [close_at_failure, outcome, lines, hadeeths] = row;
    const bool close = close_at_failure;  // captured below
    SCOPED_TRACE(close ? "closed" : "to the end");
    TestHost host;
    std::ofstream(host.folder() + "/h1.txt", std::ios::binary)
        << "*BOOK*name\r\n*1*one\r\n012 sanad\r\n*EOF*\r\n";
    ASSERT_EQ(host.Exec("DROP TABLE Titles"), "");
    QtDisplay display;
    auto* list = display.window()->findChild<QListWidget*>("List1");
    const QImage before = list->grab().toImage();
    QTimer user;  // presses OK on every box; closes the window
    user.callOnTimeout([&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
      if (close && list->count() > 2) display.window()->close();
    });
    user.start(0);
    Form1 form(display, {[&] { return host.sep(); }, [&] { return host.folder(); }, {}, 60000, {}});
    form.Form_Load();
    EXPECT_EQ(form.outcome(), outcome);
    EXPECT_EQ(host.Value("SELECT count(*) FROM Hadeeths"), hadeeths);
    ASSERT_EQ(list->count(), lines);
    EXPECT_TRUE(list->item(lines - 1)->text().startsWith("SQL Select:"));

    // The picture: the two start lines are drawn where the list has them.
    const QImage after = list->grab().toImage();
    ASSERT_TRUE(after.save("qt_list.png"));
    for (int row = 0; row < 2; ++row) {
      EXPECT_EQ(list->item(row)->text(), Q(row ? Form1::kStartLine2 : Form1::kStartLine1));
      const QRect line = list->visualItemRect(list->item(row)).translated(list->viewport()->pos());
      EXPECT_TRUE(after.copy(line) != before.copy(line)) << "line " << row;
    }
  }
}

// Runs only on a real X server: the qt_test_xvfb entry.
TEST(QtOnX, TitleAndSize) {
  if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server";
  QtDisplay display;
  display.ShowWindow();
  QWindow* handle = display.window()->windowHandle();
  while (!handle->isExposed()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_EQ(handle->title(), "Varnel - Adding Book");
  const double scale = handle->screen()->logicalDotsPerInch() / 1440;
  EXPECT_EQ(handle->size(), (QSizeF(6495, 1185) * scale).toSize());
}

}  // namespace
}  // namespace addbook

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

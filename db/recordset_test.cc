// Every state error of the database objects, with the number the user sees.
#include "db/recordset.h"

#include <gtest/gtest.h>

#include <functional>

#include "base/error.h"
#include "db/database.h"
#include "db/test_host.h"

namespace addbook {
namespace {

class RecordsetTest : public ::testing::TestWithParam<TestEngine> {};

INSTANTIATE_TEST_SUITE_P(Engines, RecordsetTest, ::testing::ValuesIn(TestEngines()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(RecordsetTest, StateErrors) {
  if (GetParam().odbc && !TestOdbcDriverAvailable()) GTEST_SKIP() << "no test ODBC driver";
  TestHost host(TestHost::Contents::kSchema, GetParam().open);
  ASSERT_EQ(host.Exec("INSERT INTO Books (BookNo, Name) VALUES (706, 'n')"), "");
  Connection conn;
  Recordset rs;
  Command cmd;
  const Variant text(std::u16string(u"x"));
  conn.ConnectionString = u"Data Source=" + host.sep() + u"\\Hadeeth.mdb";
  const struct {
    const char* what;
    std::function<void()> step;
    int32_t number;
  } cases[] = {
      {"query with no connection", [&] { rs.Open(u"Select * from Books"); },
       errors::kConnectionUnusable},
      {"statement with no connection", [&] { cmd.Execute(); }, errors::kConnectionUnusable},
      {"count of a closed recordset", [&] { rs.RecordCount(); }, errors::kObjectClosed},
      {"field of a closed recordset", [&] { rs.Fields(u"Name"); }, errors::kObjectClosed},
      {"close of a closed recordset", [&] { rs.Close(); }, errors::kObjectClosed},
      {"connection string without a data source",
       [&] {
         Connection other;
         other.Open(SlashedPath, GetParam().open);
       },
       errors::kInvalidArgument},
      {"open connection opened again",
       [&] {
         conn.Open(SlashedPath, GetParam().open);
         rs.ActiveConnection = cmd.ActiveConnection = &conn;
         conn.Open(SlashedPath, GetParam().open);
       },
       errors::kObjectOpen},
      {"open recordset opened again",
       [&] {
         rs.Open(u"Select * from Books where BookNo=706");
         rs.Open(u"Select * from Books");
       },
       errors::kObjectOpen},
      {"unknown column", [&] { rs.Fields(u"Shelf"); }, errors::kItemNotFound},
      {"close while an edit is pending",
       [&] {
         rs.Collect(u"name", text);
         rs.Close();
       },
       errors::kNotAllowedInContext},
      {"no current row",
       [&] {
         rs.CancelUpdate();
         rs.Close();
         rs.Open(u"Select * from Books where BookNo=1");
         rs.Fields(u"Name");
       },
       errors::kNoCurrentRecord},
      {"rows that cannot be written back",
       [&] {
         rs.Close();
         rs.Open(u"Select count(*) AS n from Books");
         rs.Collect(u"n", text);
       },
       errors::kNotUpdatable},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.step();
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), c.number);
    }
  }
  // The pending edit was dropped unwritten; a new one is written at once.
  EXPECT_EQ(host.Value("SELECT Name FROM Books"), "n");
  rs.Close();
  rs.Open(u"Select * from Books where BookNo=706");
  rs.Collect(u"NAME", text);
  rs.Update();
  EXPECT_FALSE(rs.EditPending());
  EXPECT_EQ(rs.Fields(u"name").Value().ToText(), u"x");
  EXPECT_EQ(host.Value("SELECT Name FROM Books"), "x");
}

}  // namespace
}  // namespace addbook

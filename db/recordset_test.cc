// The state errors of the database objects, with the number the user sees
// (those that the writers meet are checked with them, in export_data_test),
// and what an edit writes.
#include "db/recordset.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/error.h"
#include "db/database.h"
#include "db/test_host.h"

namespace addbook {
namespace {

auto Fails(int32_t number) {
  return testing::Throws<Error>(testing::Property(&Error::number, number));
}

TEST(RecordsetTest, StateErrorsAndEdits) {
  TestHost host;
  ASSERT_EQ(host.Exec("INSERT INTO Books (BookNo, Name) VALUES (706, 'n')"), "");
  Connection conn;
  Recordset rs;
  Command cmd;
  const Variant text(std::u16string(u"x"));
  conn.ConnectionString = u"Data Source=" + host.sep() + u"\\Hadeeth.mdb";
  EXPECT_THAT([&] { rs.Open(u"Select * from Books"); }, Fails(errors::kConnectionUnusable));
  EXPECT_THAT([&] { cmd.Execute(); }, Fails(errors::kConnectionUnusable));
  EXPECT_THAT([&] { rs.Fields(u"Name"); }, Fails(errors::kObjectClosed));
  EXPECT_THAT([&] { rs.Close(); }, Fails(errors::kObjectClosed));
  EXPECT_THAT([&] { rs.CancelUpdate(); }, Fails(errors::kObjectClosed));
  EXPECT_THAT([&] { Connection().Open(SlashedPath); }, Fails(errors::kInvalidArgument));
  conn.Open(SlashedPath);
  rs.ActiveConnection = cmd.ActiveConnection = &conn;
  EXPECT_THAT([&] { conn.Open(SlashedPath); }, Fails(errors::kObjectOpen));
  rs.Open(u"Select * from Books where BookNo=706");
  EXPECT_THAT([&] { rs.Fields(u"Shelf"); }, Fails(errors::kItemNotFound));
  rs.Collect(u"NAME", text);
  EXPECT_EQ(rs.Fields(u"name").Value().ToText(), u"x");
  EXPECT_EQ(host.Value("SELECT Name FROM Books"), "n");  // not written before Update
  rs.Update();
  EXPECT_EQ(host.Value("SELECT Name FROM Books"), "x");
  // A row gone since it was read is not written, and the edit stays pending.
  ASSERT_EQ(host.Exec("DELETE FROM Books"), "");
  rs.Collect(u"Name", Variant(std::u16string(u"gone")));
  EXPECT_THROW(rs.Update(), Error);
  EXPECT_TRUE(rs.EditPending());
  EXPECT_EQ(rs.fields_written(), 1);
  rs.CancelUpdate();
  rs.Close();
  rs.Open(u"Select * from Books where BookNo=706");
  EXPECT_THAT([&] { rs.Fields(u"Name"); }, Fails(errors::kNoCurrentRecord));
  rs.Close();
  rs.Open(u"Select count(*) AS n from Books");
  EXPECT_THAT([&] { rs.Collect(u"n", text); }, Fails(errors::kNotUpdatable));
}

}  // namespace
}  // namespace addbook

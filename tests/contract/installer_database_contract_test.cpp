// Installer databases: reading, editing and committing a real package, the same on the simulated
// machine and on Windows.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/installer.h"
#include "tests/contract/contract_env.h"
#include "tests/contract/installer_package.h"

namespace corvane::contract {
namespace {

using platform::InstallerDatabase;
using platform::InstallerField;
using platform::InstallerRecord;
using platform::Status;
using Kind = InstallerField::Kind;

// The summary property wixl leaves out of the package (PID_LASTAUTHOR).
constexpr int kLastAuthor = 8;

class InstallerDatabaseContract : public ContractTest {
 protected:
  void SetUp() override {
    ContractTest::SetUp();
    if (HasFatalFailure()) return;
    bytes_ = ContractPackageBytes();
    ASSERT_FALSE(bytes_.empty()) << "cannot read " << CORVANE_CONTRACT_MSI;
    package_ = At("contract.msi");
    ASSERT_EQ(Files().WriteFile(package_, bytes_), Status::kOk);
  }

  std::unique_ptr<InstallerDatabase> Open(bool read_only) {
    Status status = Status::kFailed;
    std::unique_ptr<InstallerDatabase> db =
        P().installer().OpenDatabase(package_, read_only, &status);
    EXPECT_EQ(status, Status::kOk);
    EXPECT_NE(db, nullptr);
    return db;
  }

  std::vector<InstallerRecord> Select(InstallerDatabase& db, const std::string& sql,
                                      const InstallerRecord& params = {}) {
    std::vector<InstallerRecord> rows;
    EXPECT_EQ(db.Run(sql, params, &rows), Status::kOk) << sql;
    return rows;
  }

  // The value of a Property row, "<none>" without one.
  std::string Property(InstallerDatabase& db, const std::string& name) {
    std::vector<InstallerRecord> rows = Select(
        db, "SELECT `Value` FROM `Property` WHERE `Property` = ?", {InstallerField::Text(name)});
    if (rows.empty()) return "<none>";
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].size(), 1u);
    return rows[0].empty() ? "<no field>" : rows[0][0].AsText();
  }

  std::string FileBytes() {
    std::string bytes;
    EXPECT_EQ(Files().ReadFile(package_, &bytes), Status::kOk);
    return bytes;
  }

  std::string bytes_;
  std::string package_;
};

TEST_F(InstallerDatabaseContract, ARowComesBackWithTheKindOfEachColumn) {
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/true);
  ASSERT_NE(db, nullptr);

  std::vector<InstallerRecord> rows =
      Select(*db,
             "SELECT `Component`, `Attributes`, `Condition`, `Directory_` FROM `Component` "
             "WHERE `Component` = ?",
             {InstallerField::Text("Settings")});
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_EQ(rows[0].size(), 4u);
  EXPECT_EQ(rows[0][0].kind, Kind::kText);
  EXPECT_EQ(rows[0][0].text, "Settings");
  EXPECT_EQ(rows[0][1].kind, Kind::kInteger);
  EXPECT_EQ(rows[0][1].number, 4);  // the registry value is its key path
  EXPECT_TRUE(rows[0][2].is_null());
  EXPECT_EQ(rows[0][3].text, "INSTALLDIR");

  // An integer parameter, and rows appended after what the caller had.
  rows.assign(1, {InstallerField::Text("kept")});
  ASSERT_EQ(db->Run("SELECT `File`, `FileSize` FROM `File` WHERE `Sequence` = ?",
                    {InstallerField::Integer(2)}, &rows),
            Status::kOk);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0].text, "kept");
  ASSERT_EQ(rows[1].size(), 2u);
  EXPECT_EQ(rows[1][0].text, "two");
  EXPECT_EQ(rows[1][1].kind, Kind::kInteger);
  EXPECT_EQ(rows[1][1].number, 40);

  EXPECT_TRUE(Select(*db, "SELECT `Value` FROM `Property` WHERE `Property` = ?",
                     {InstallerField::Text("NO_SUCH_PROPERTY")})
                  .empty());
  EXPECT_EQ(Select(*db, "SELECT `Property` FROM `Property`").size(), 8u);
  EXPECT_EQ(db->Run("SELECT `Property` FROM `Property`", {}, nullptr), Status::kOk);
}

TEST_F(InstallerDatabaseContract, ChangesToAReadOnlyDatabaseNeverReachTheFile) {
  {
    std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/true);
    ASSERT_NE(db, nullptr);
    // The installer may accept the row in memory; it must not write it.
    db->Run("INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)",
            {InstallerField::Text("EXTRA"), InstallerField::Text("1")}, nullptr);
    EXPECT_NE(db->SetSummary(platform::summary::kAuthor, InstallerField::Text("someone")),
              Status::kOk);
    EXPECT_NE(db->Commit(), Status::kOk);
  }
  EXPECT_EQ(FileBytes(), bytes_);
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/true);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(Property(*db, "EXTRA"), "<none>");
}

TEST_F(InstallerDatabaseContract, AValueWithAnApostropheTravelsAsAParameter) {
  {
    std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/false);
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(
        db->Run("INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)",
                {InstallerField::Text("TOOLNAME"), InstallerField::Text("Bob's Tool")}, nullptr),
        Status::kOk);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/true);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(Property(*db, "TOOLNAME"), "Bob's Tool");
  std::vector<InstallerRecord> rows =
      Select(*db, "SELECT `Property` FROM `Property` WHERE `Value` = ?",
             {InstallerField::Text("Bob's Tool")});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].text, "TOOLNAME");
}

TEST_F(InstallerDatabaseContract, InsertingAnExistingKeyFailsAndKeepsTheRow) {
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/false);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(db->Run("INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)",
                    {InstallerField::Text("GREETING"), InstallerField::Text("other")}, nullptr),
            Status::kFailed);
  EXPECT_EQ(Property(*db, "GREETING"), "hello");
}

TEST_F(InstallerDatabaseContract, UpdateChangesOnlyTheRowsItSelects) {
  {
    std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/false);
    ASSERT_NE(db, nullptr);
    ASSERT_EQ(db->Run("UPDATE `Property` SET `Value` = ? WHERE `Property` = ?",
                      {InstallerField::Text("goodbye"), InstallerField::Text("GREETING")}, nullptr),
              Status::kOk);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/true);
  ASSERT_NE(db, nullptr);
  EXPECT_EQ(Property(*db, "GREETING"), "goodbye");
  EXPECT_EQ(Property(*db, "Manufacturer"), "Corvane Tests");
  EXPECT_EQ(Property(*db, "ProductName"), "Contract Package");
}

TEST_F(InstallerDatabaseContract, UpdateColumnRewritesEveryRowItChanges) {
  const std::map<std::string, std::string> new_ids = {
      {"{5C0B7A3E-1D2F-4E6A-9B8C-7D6E5F4A3B30}", "{7A1B2C3D-4E5F-4061-8273-94A5B6C7D8E0}"},
      {"{5C0B7A3E-1D2F-4E6A-9B8C-7D6E5F4A3B31}", "{7A1B2C3D-4E5F-4061-8273-94A5B6C7D8E1}"}};
  {
    std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/false);
    ASSERT_NE(db, nullptr);
    int seen = 0;
    ASSERT_EQ(db->UpdateColumn("Component", "Attributes",
                               [&](InstallerField& f) {
                                 ++seen;
                                 EXPECT_EQ(f.kind, Kind::kInteger);
                                 f.number ^= 256;
                               }),
              Status::kOk);
    EXPECT_EQ(seen, 2);
    std::vector<std::string> ids;
    ASSERT_EQ(db->UpdateColumn("Component", "ComponentId",
                               [&](InstallerField& f) {
                                 ids.push_back(f.text);
                                 auto it = new_ids.find(f.text);
                                 if (it != new_ids.end()) f = InstallerField::Text(it->second);
                               }),
              Status::kOk);
    EXPECT_EQ(ids.size(), 2u);
    // An edit that changes nothing writes nothing and succeeds.
    ASSERT_EQ(db->UpdateColumn("File", "FileName", [](InstallerField&) {}), Status::kOk);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/true);
  ASSERT_NE(db, nullptr);
  const std::string query =
      "SELECT `Attributes`, `ComponentId` FROM `Component` WHERE `Component` = ?";
  std::vector<InstallerRecord> files = Select(*db, query, {InstallerField::Text("Files")});
  std::vector<InstallerRecord> settings = Select(*db, query, {InstallerField::Text("Settings")});
  ASSERT_EQ(files.size(), 1u);
  ASSERT_EQ(settings.size(), 1u);
  EXPECT_EQ(files[0][0].number, 256);
  EXPECT_EQ(settings[0][0].number, 260);
  EXPECT_EQ(files[0][1].text, "{7A1B2C3D-4E5F-4061-8273-94A5B6C7D8E0}");
  EXPECT_EQ(settings[0][1].text, "{7A1B2C3D-4E5F-4061-8273-94A5B6C7D8E1}");
  std::vector<InstallerRecord> names =
      Select(*db, "SELECT `FileName` FROM `File` WHERE `File` = ?", {InstallerField::Text("one")});
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0][0].text, "one.txt");
}

TEST_F(InstallerDatabaseContract, UpdateColumnRefusesWhatItCannotWrite) {
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/false);
  ASSERT_NE(db, nullptr);
  int calls = 0;
  auto count = [&](InstallerField&) { ++calls; };
  EXPECT_EQ(db->UpdateColumn("NoSuchTable", "Attributes", count), Status::kFailed);
  EXPECT_EQ(db->UpdateColumn("Component", "NoSuchColumn", count), Status::kFailed);
  // A name is a name: it never becomes part of the statement around it.
  EXPECT_EQ(db->UpdateColumn("Component` WHERE `Component` = 'Files", "Attributes", count),
            Status::kFailed);
  EXPECT_EQ(calls, 0);

  // A text for an integer column is not stored as something else.
  EXPECT_EQ(db->UpdateColumn("Component", "Attributes",
                             [](InstallerField& f) { f = InstallerField::Text("many"); }),
            Status::kFailed);
  std::vector<InstallerRecord> rows =
      Select(*db, "SELECT `Attributes` FROM `Component` WHERE `Component` = ?",
             {InstallerField::Text("Files")});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0].kind, Kind::kInteger);
  EXPECT_EQ(rows[0][0].number, 0);
}

TEST_F(InstallerDatabaseContract, SummaryPropertiesSurviveReopening) {
  const std::string revision = "{0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}";
  {
    std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/false);
    ASSERT_NE(db, nullptr);
    InstallerField value;
    ASSERT_EQ(db->GetSummary(platform::summary::kTemplate, &value), Status::kOk);
    EXPECT_EQ(value.kind, Kind::kText);
    EXPECT_EQ(value.text, "Intel;1033");
    ASSERT_EQ(db->GetSummary(platform::summary::kWordCount, &value), Status::kOk);
    EXPECT_EQ(value.kind, Kind::kInteger);
    EXPECT_EQ(value.number, 2);  // compressed files
    ASSERT_EQ(db->GetSummary(platform::summary::kPageCount, &value), Status::kOk);
    EXPECT_EQ(value.number, 200);
    ASSERT_EQ(db->GetSummary(platform::summary::kRevisionNumber, &value), Status::kOk);
    EXPECT_EQ(value.text.size(), 38u) << value.text;
    value = InstallerField::Text("left over");
    EXPECT_EQ(db->GetSummary(kLastAuthor, &value), Status::kNotFound);
    EXPECT_TRUE(value.is_null());

    ASSERT_EQ(db->SetSummary(platform::summary::kTemplate, InstallerField::Text("x64;1033")),
              Status::kOk);
    ASSERT_EQ(db->SetSummary(platform::summary::kWordCount, InstallerField::Integer(10)),
              Status::kOk);
    ASSERT_EQ(db->SetSummary(platform::summary::kRevisionNumber, InstallerField::Text(revision)),
              Status::kOk);
    // Each property has one type.
    EXPECT_NE(db->SetSummary(platform::summary::kWordCount, InstallerField::Text("ten")),
              Status::kOk);
    ASSERT_EQ(db->Commit(), Status::kOk);
  }
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/true);
  ASSERT_NE(db, nullptr);
  InstallerField value;
  ASSERT_EQ(db->GetSummary(platform::summary::kTemplate, &value), Status::kOk);
  EXPECT_EQ(value.text, "x64;1033");
  ASSERT_EQ(db->GetSummary(platform::summary::kWordCount, &value), Status::kOk);
  EXPECT_EQ(value.kind, Kind::kInteger);
  EXPECT_EQ(value.number, 10);
  ASSERT_EQ(db->GetSummary(platform::summary::kRevisionNumber, &value), Status::kOk);
  EXPECT_EQ(value.text, revision);
  ASSERT_EQ(db->GetSummary(platform::summary::kAuthor, &value), Status::kOk);
  EXPECT_EQ(value.text, "Corvane Tests");
  // The tables are untouched by a summary change.
  EXPECT_EQ(Property(*db, "GREETING"), "hello");
}

TEST_F(InstallerDatabaseContract, AMissingFileOrAFileOfAnotherKindOpensNoDatabase) {
  platform::Installer& installer = P().installer();
  for (bool read_only : {true, false}) {
    Status status = Status::kOk;
    EXPECT_EQ(installer.OpenDatabase(At("missing.msi"), read_only, &status), nullptr);
    EXPECT_EQ(status, Status::kNotFound);
    status = Status::kOk;
    EXPECT_EQ(installer.OpenDatabase(At("no folder\\missing.msi"), read_only, &status), nullptr);
    EXPECT_EQ(status, Status::kNotFound);
  }
  const std::string text = "not an installer database\r\n";
  ASSERT_EQ(Files().WriteFile(At("text.msi"), text), Status::kOk);
  for (bool read_only : {true, false}) {
    Status status = Status::kOk;
    EXPECT_EQ(installer.OpenDatabase(At("text.msi"), read_only, &status), nullptr);
    EXPECT_NE(status, Status::kOk);
  }
  std::string after;
  ASSERT_EQ(Files().ReadFile(At("text.msi"), &after), Status::kOk);
  EXPECT_EQ(after, text);
}

TEST_F(InstallerDatabaseContract, AStatementThatCannotRunFailsAndChangesNothing) {
  std::unique_ptr<InstallerDatabase> db = Open(/*read_only=*/false);
  ASSERT_NE(db, nullptr);
  std::vector<InstallerRecord> rows;
  EXPECT_EQ(db->Run("SELEKT `Value` FROM `Property`", {}, &rows), Status::kFailed);
  EXPECT_EQ(db->Run("SELECT `Value` FROM `NoSuchTable`", {}, &rows), Status::kFailed);
  EXPECT_EQ(db->Run("SELECT `Value` FROM `Property` WHERE", {}, &rows), Status::kFailed);
  EXPECT_TRUE(rows.empty());

  // A statement or a value with a NUL in it would be cut short there: it is refused whole.
  const std::string cut = std::string("DELETE FROM `Property`") + '\0' + " WHERE `Property` = ?";
  EXPECT_NE(db->Run(cut, {InstallerField::Text("GREETING")}, nullptr), Status::kOk);
  EXPECT_NE(
      db->Run("INSERT INTO `Property` (`Property`, `Value`) VALUES (?, ?)",
              {InstallerField::Text("CUT"), InstallerField::Text(std::string("a\0b", 3))}, nullptr),
      Status::kOk);
  EXPECT_EQ(Select(*db, "SELECT `Property` FROM `Property`").size(), 8u);
  EXPECT_EQ(Property(*db, "CUT"), "<none>");
}

}  // namespace
}  // namespace corvane::contract

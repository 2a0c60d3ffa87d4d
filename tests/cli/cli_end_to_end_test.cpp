// Runs the built verifax-cli on small documents in scratch folders.

#include <gtest/gtest.h>

#ifndef _WIN32

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#include "cli_test_util.h"

namespace verifax {
namespace {

using testing::Fixture;
using testing::ReadBytes;
using testing::ScratchDir;
namespace fs = std::filesystem;

const std::regex kBackupName(R"(saft_\d{8}_\d{6}\.bak_xml)");

struct Outcome {
  int exit = -1;
  std::string out;
  std::string err;
};

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class CliEndToEndTest : public ::testing::Test {
 protected:
  // The document's folder and the document in it, copied from `fixture`.
  fs::path folder() const { return scratch_.path() / "docs"; }
  fs::path AddDocument(const std::string& fixture) {
    return scratch_.CopyFixture(fixture, "saft.xml", "docs");
  }

  // Runs the program in `cwd` with no standard input. `unprivileged`: as the user nobody,
  // from a copy of the program that nobody can reach.
  Outcome Run(const fs::path& cwd, const std::vector<std::string>& args,
              bool unprivileged = false) {
    fs::path capture = scratch_.path() / "capture";
    fs::create_directories(capture);
    std::string exe = VERIFAX_CLI_EXE;
    std::string command = "cd " + ShellQuote(cwd.string()) + " && exec ";
    if (unprivileged) {
      fs::path copy = scratch_.path() / "bin" / "verifax-cli";
      fs::create_directories(copy.parent_path());
      fs::copy_file(exe, copy, fs::copy_options::overwrite_existing);
      chmod(copy.c_str(), 0755);
      chmod(copy.parent_path().c_str(), 0755);
      exe = copy.string();
      command += "setpriv --reuid=nobody --regid=nogroup --clear-groups ";
    }
    command += ShellQuote(exe);
    for (const std::string& arg : args) command += " " + ShellQuote(arg);
    command += " </dev/null >" + ShellQuote((capture / "out").string()) + " 2>" +
               ShellQuote((capture / "err").string());
    Outcome outcome;
    int status = std::system(command.c_str());
    if (status != -1 && WIFEXITED(status)) outcome.exit = WEXITSTATUS(status);
    outcome.out = ReadBytes(capture / "out");
    outcome.err = ReadBytes(capture / "err");
    return outcome;
  }

  // Root may write anywhere, so the permission cases run as nobody there.
  bool NeedsUnprivilegedUser() const { return geteuid() == 0; }

  // The names in the document's folder besides saft.xml.
  std::vector<std::string> OtherFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder())) {
      if (entry.path().filename() != "saft.xml") names.push_back(entry.path().filename());
    }
    return names;
  }

  ScratchDir scratch_;
};

TEST_F(CliEndToEndTest, CleanFileIsLeftAlone) {
  fs::path doc = AddDocument("cli_clean.xml");
  auto written = fs::last_write_time(doc);
  Outcome r = Run(folder(), {"--yes", doc.string()});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "A inspecionar o ficheiro: \"" + doc.string() +
                       "\"\n"
                       "\n"
                       "\n"
                       "Ficheiro sem erros!\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadBytes(doc), ReadBytes(Fixture("cli_clean.xml")));
  EXPECT_EQ(fs::last_write_time(doc), written);
  EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(CliEndToEndTest, RepairIsBackedUpAndSaved) {
  AddDocument("cli_blank_unit.xml");
  // A relative path, used as given in the log and for the backup's folder.
  Outcome r = Run(folder(), {"saft.xml", "-y"});
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_EQ(r.err, "");
  std::vector<std::string> others = OtherFiles();
  ASSERT_EQ(others.size(), 1u);
  const std::string& backup = others[0];
  EXPECT_TRUE(std::regex_match(backup, kBackupName)) << backup;
  EXPECT_EQ(r.out,
            "A inspecionar o ficheiro: \"saft.xml\"\n"
            "\n"
            "1> Doc. #FT A/1  Linha #2 (UnitOfMeasure): \"\" -> \"Un\"\n"
            "\n"
            "\n"
            "Ficheiro SAFT (Backup): sucesso!\n"
            "     (\"saft.xml\" -> \"" +
                backup +
                "\")\n"
                "\n"
                "Ficheiro SAFT: novo ficheiro guardado com sucesso!\n"
                "     (saft.xml)\n");
  EXPECT_EQ(ReadBytes(folder() / backup), ReadBytes(Fixture("cli_blank_unit.xml")));
  EXPECT_EQ(ReadBytes(folder() / "saft.xml"), ReadBytes(Fixture("cli_blank_unit.repaired.xml")));
}

TEST_F(CliEndToEndTest, DryRunChangesNothing) {
  fs::path doc = AddDocument("cli_blank_unit.xml");
  Outcome r = Run(folder(), {"-yn", doc.string()});
  EXPECT_EQ(r.exit, 1) << r.err;
  EXPECT_EQ(r.out, "A inspecionar o ficheiro: \"" + doc.string() +
                       "\"\n"
                       "\n"
                       "1> Doc. #FT A/1  Linha #2 (UnitOfMeasure): \"\" -> \"Un\"\n"
                       "\n"
                       "Simulação: o ficheiro não foi alterado.\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ReadBytes(doc), ReadBytes(Fixture("cli_blank_unit.xml")));
  EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(CliEndToEndTest, FolderWithoutWriteRightGivesTheBackupMessage) {
  fs::path doc = AddDocument("cli_blank_unit.xml");
  // Readable and searchable by everybody, writable by nobody but root.
  ASSERT_EQ(chmod(folder().c_str(), 0555), 0);
  Outcome r = Run(folder(), {"--yes", doc.string()}, NeedsUnprivilegedUser());
  EXPECT_EQ(r.exit, 2);
  EXPECT_EQ(r.out, "");
  const std::string start =
      "Erro ao efetuar backup do ficheiro SAFT!\n"
      "Não é possível renomear o ficheiro.\n"
      "\"" +
      doc.string() + "\" -> \"" + (folder() / "saft_").string();
  ASSERT_EQ(r.err.substr(0, start.size()), start) << r.err;
  EXPECT_TRUE(
      std::regex_match(r.err.substr(start.size()), std::regex(R"(\d{8}_\d{6}\.bak_xml"\n)")))
      << r.err;
  EXPECT_EQ(ReadBytes(doc), ReadBytes(Fixture("cli_blank_unit.xml")));
  EXPECT_TRUE(OtherFiles().empty());
}

TEST_F(CliEndToEndTest, ReadOnlyDocumentGivesTheWriteErrorAfterTheBackup) {
  fs::path doc = AddDocument("cli_blank_unit.xml");
  bool unprivileged = NeedsUnprivilegedUser();
  // The unprivileged user must be able to put the backup beside the root-owned document.
  if (unprivileged) {
    ASSERT_EQ(chmod(folder().c_str(), 0777), 0);
  }
  ASSERT_EQ(chmod(doc.c_str(), 0444), 0);
  Outcome r = Run(folder(), {"--yes", doc.string()}, unprivileged);
  EXPECT_EQ(r.exit, 2);
  EXPECT_EQ(r.out, "");
  const std::string start = "Cannot create file \"" + doc.string() + "\". ";
  EXPECT_EQ(r.err.substr(0, start.size()), start) << r.err;
  EXPECT_TRUE(r.err.ends_with('\n')) << r.err;
  EXPECT_EQ(ReadBytes(doc), ReadBytes(Fixture("cli_blank_unit.xml")));
  std::vector<std::string> others = OtherFiles();
  ASSERT_EQ(others.size(), 1u);
  EXPECT_TRUE(std::regex_match(others[0], kBackupName)) << others[0];
  EXPECT_EQ(ReadBytes(folder() / others[0]), ReadBytes(Fixture("cli_blank_unit.xml")));
}

}  // namespace
}  // namespace verifax

#endif  // !_WIN32

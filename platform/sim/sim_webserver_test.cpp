// The simulated machine's web server: its file, the objects of the scripting interface (puts kept
// until they are committed, inheritance, refused names and values), which server answers which
// path, and the loader of the administration library.
#include "platform/sim/sim_webserver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/sim/pe_exports.h"
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"

namespace corvane::platform::sim {
namespace {

namespace fs = std::filesystem;

const char kServer[] =
    "version = 6.0\n"
    "extension = ASP\n"
    "[service]\n"
    "AnonymousUserName = IUSR_A\n"
    "[site 1]\n"
    "ServerComment = Default\n"
    "ServerBindings = :80:\n"
    "ServerBindings = :81:b\n"
    "[folder 1 Root]\n"
    "Path = C:\\www\n"
    "[folder 1 Root/shop]\n"
    "AccessWrite = TRUE\n"
    "[pool Shop Pool]\n";

class Machine {
 public:
  explicit Machine(const std::string& server, const std::string& machine_txt = "") {
    static int n = 0;
    folder_ = fs::temp_directory_path() /
              ("corvane-webserver-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    if (!machine_txt.empty()) std::ofstream(folder_ / "machine.txt") << machine_txt;
    if (!server.empty()) std::ofstream(folder_ / "webserver.txt") << server;
    SimOptions o;
    o.machine_folder = folder_.string();
    o.save_registry_on_exit = false;
    platform_ = CreateSimPlatform(o);
  }
  ~Machine() {
    platform_.reset();
    fs::remove_all(folder_);
  }
  SimPlatform& p() { return *platform_; }
  WebServerModel Model() {
    WebServerModel m;
    EXPECT_TRUE(platform_->sim_web_server().Load(&m)) << platform_->sim_web_server().LastError();
    return m;
  }

 private:
  fs::path folder_;
  std::unique_ptr<SimPlatform> platform_;
};

TEST(WebServerModel, ParsesWritesAndRefusesDamagedFiles) {
  WebServerModel m;
  std::string error;
  ASSERT_TRUE(WebServerModel::Parse(kServer, &m, &error)) << error;
  EXPECT_EQ(m.version(), 60);
  EXPECT_EQ(m.nodes.at("1").properties.at("ServerBindings"), ":80:\r\n:81:b");
  EXPECT_EQ(m.nodes.at("1/Root/shop").class_name, "IIsWebVirtualDir");
  EXPECT_EQ(m.nodes.at("AppPools/Shop Pool").class_name, "IIsApplicationPool");
  // The text read back is the same server.
  WebServerModel again;
  ASSERT_TRUE(WebServerModel::Parse(m.Text(), &again, &error)) << error;
  EXPECT_EQ(again.Text(), m.Text());
  EXPECT_EQ(again.extensions, std::vector<std::string>{"ASP"});

  const struct {
    const char* text;
    const char* error;
  } kBad[] = {
      {"[site 1]\n", "the server's version is missing"},
      {"version = 6\n", "line 1: version is MAJOR.MINOR"},
      {"version = 6.0\n[site 0]\n", "line 2: unknown section site 0"},
      {"version = 6.0\n[folder 1 shop]\n", "line 2: a folder is named by its site and Root"},
      {"version = 6.0\n[site 1\n", "line 2: a section ends with ]"},
      {"version = 6.0\nspeed = 3\n", "line 2: unknown key speed"},
      {"version = 6.0\n[service]\nno value\n", "line 3: expected name = value"},
  };
  for (const auto& bad : kBad) {
    error.clear();
    EXPECT_FALSE(WebServerModel::Parse(bad.text, &m, &error)) << bad.text;
    EXPECT_NE(error.find(bad.error), std::string::npos) << bad.text << " -> " << error;
  }
}

// The file is UTF-8; the engine's texts are in the script's code page.
TEST(WebServerModel, TextsAreUtf8InTheFileAndCodePageTextsInside) {
  WebServerModel m;
  std::string error;
  ASSERT_TRUE(
      WebServerModel::Parse("version = 6.0\n[site 1]\nServerComment = Caf\xC3\xA9\n", &m, &error))
      << error;
  EXPECT_EQ(m.nodes.at("1").properties.at("ServerComment"), "Caf\xE9");
  m.nodes.at("1").properties["ServerComment"] =
      "Stra\xDF"
      "e";
  EXPECT_NE(m.Text().find("ServerComment = Stra\xC3\x9F"
                          "e\n"),
            std::string::npos)
      << m.Text();
}

TEST(SimWebServer, ScriptingObjectsKeepPutsUntilCommitted) {
  Machine machine(kServer);
  Status s = Status::kFailed;
  auto service = machine.p().web_server().OpenWebService("localhost", &s);
  ASSERT_TRUE(service) << StatusName(s);
  auto site = service->GetChild("IIsWebServer", "1", &s);
  ASSERT_TRUE(site);
  auto shop = site->GetChild("IIsWebVirtualDir", "Root/shop", &s);
  ASSERT_TRUE(shop);
  std::string v;
  // Own value, inherited from the root folder, the service's, the server's default.
  ASSERT_EQ(shop->Get("AccessWrite", &v), Status::kOk);
  EXPECT_EQ(v, "TRUE");
  ASSERT_EQ(shop->Get("Path", &v), Status::kOk);
  EXPECT_EQ(v, "C:\\www");
  ASSERT_EQ(shop->Get("AnonymousUserName", &v), Status::kOk);
  EXPECT_EQ(v, "IUSR_A");
  ASSERT_EQ(shop->Get("EnableDirBrowsing", &v), Status::kOk);
  EXPECT_EQ(v, "FALSE");
  EXPECT_EQ(shop->Get("Colour", &v), Status::kNotFound);

  // A put is seen by its own object at once and by others only after SetInfo.
  ASSERT_EQ(site->Put("ServerComment", "Renamed"), Status::kOk);
  auto other = service->GetChild("IIsWebServer", "1", &s);
  ASSERT_EQ(other->Get("ServerComment", &v), Status::kOk);
  EXPECT_EQ(v, "Default");
  ASSERT_EQ(site->SetInfo(), Status::kOk);
  ASSERT_EQ(other->Get("ServerComment", &v), Status::kOk);
  EXPECT_EQ(v, "Renamed");
  EXPECT_EQ(site->Put("Colour", "red"), Status::kInvalidName);
  EXPECT_EQ(site->Put("AccessRead", "perhaps"), Status::kFailed);
  EXPECT_EQ(site->Put("ServerState", "2"), Status::kAccessDenied);  // changed by methods only

  // Objects are made under the classes their parents allow, and only once.
  EXPECT_FALSE(service->Create("IIsWebServer", "1", &s));
  EXPECT_EQ(s, Status::kAlreadyExists);
  EXPECT_FALSE(service->Create("IIsWebVirtualDir", "Root", &s));
  EXPECT_EQ(s, Status::kInvalidName);
  auto made = service->Create("IIsWebServer", "4", &s);
  ASSERT_TRUE(made);
  EXPECT_EQ(machine.Model().nodes.count("4"), 0u) << "nothing before SetInfo";
  ASSERT_EQ(made->SetInfo(), Status::kOk);
  EXPECT_EQ(machine.Model().nodes.count("4"), 1u);

  // Methods: states, and only a running site pauses.
  EXPECT_EQ(other->Invoke("Pause", {}), Status::kFailed);
  EXPECT_EQ(other->Invoke("Start", {}), Status::kOk);
  EXPECT_EQ(other->Invoke("Pause", {}), Status::kOk);
  ASSERT_EQ(other->Get("ServerState", &v), Status::kOk);
  EXPECT_EQ(v, "6");
  EXPECT_EQ(other->Invoke("Explode", {}), Status::kNotFound);

  // Deleting a site takes its folders with it; the listing is in the service's order.
  std::vector<WebAdminChild> children;
  ASSERT_EQ(service->Children(&children), Status::kOk);
  ASSERT_EQ(children.size(), 3u);
  EXPECT_EQ(children[0].name, "1");
  EXPECT_EQ(children[1].name, "4");
  EXPECT_EQ(children[2].name, "AppPools");
  EXPECT_EQ(service->Delete("IIsWebServer", "1"), Status::kOk);
  WebServerModel m = machine.Model();
  EXPECT_EQ(m.nodes.count("1/Root"), 0u);
  EXPECT_EQ(m.nodes.count("1/Root/shop"), 0u);
  EXPECT_EQ(service->Delete("IIsWebServer", "1"), Status::kNotFound);
}

// Each server answers its own path on this machine only: the scripting interface before
// version 7, the library from version 7 on.
TEST(SimWebServer, EachVersionAnswersItsPathLocally) {
  Machine none("");
  Status s = Status::kOk;
  EXPECT_FALSE(none.p().web_server().OpenWebService("localhost", &s));
  EXPECT_EQ(s, Status::kNotFound);

  Machine v6(kServer, "computer = WEBHOST\n");
  EXPECT_TRUE(v6.p().web_server().OpenWebService("webhost", &s));
  EXPECT_TRUE(v6.p().web_server().OpenWebService("", &s));
  EXPECT_FALSE(v6.p().web_server().OpenWebService("otherhost", &s));

  std::string text = kServer;
  text.replace(0, std::string("version = 6.0").size(), "version = 10.0");
  Machine v10(text);
  EXPECT_FALSE(v10.p().web_server().OpenWebService("localhost", &s));
  // The registry tells the version as the server's setup leaves it.
  RegValue major;
  ASSERT_EQ(v10.p().registry().ReadValue(RegRoot::kLocalMachine, "SOFTWARE\\Microsoft\\InetStp",
                                         "MajorVersion", RegView::kNative, &major),
            Status::kOk);
  EXPECT_EQ(major.AsNumber(), 10u);

  std::string bytes;
  ASSERT_EQ(v10.p().system().EngineResource("DLL", &bytes), Status::kOk);
  ASSERT_EQ(v10.p().files().CreateDirectories("C:\\Support"), Status::kOk);
  ASSERT_EQ(v10.p().files().WriteFile("C:\\Support\\ahadmin_wrapper.dll", bytes), Status::kOk);
  auto library = v10.p().web_server().LoadAdminLibrary("C:\\Support\\ahadmin_wrapper.dll", &s);
  ASSERT_TRUE(library) << StatusName(s);
  std::string list;
  ASSERT_EQ(library->SiteList("localhost", &list), Status::kOk);
  EXPECT_EQ(list, "Default");
  EXPECT_EQ(library->SiteList("otherhost", &list), Status::kFailed);
  int32_t state = 0;
  ASSERT_EQ(library->SiteState("localhost", 1, &state), Status::kOk);
  EXPECT_EQ(state, 4);
  ASSERT_EQ(library->UniqueAccountId("localhost", 1, &list), Status::kOk);
  EXPECT_EQ(list, "IIS APPPOOL\\DefaultAppPool");

  // The same library reaches no server before version 7.
  ASSERT_EQ(v6.p().files().CreateDirectories("C:\\Support"), Status::kOk);
  ASSERT_EQ(v6.p().files().WriteFile("C:\\Support\\ahadmin_wrapper.dll", bytes), Status::kOk);
  library = v6.p().web_server().LoadAdminLibrary("C:\\Support\\ahadmin_wrapper.dll", &s);
  ASSERT_TRUE(library);
  EXPECT_EQ(library->SiteList("localhost", &list), Status::kFailed);
}

// The loader takes only a library for the engine process's processor.
TEST(SimWebServer, LoaderChecksTheFile) {
  Machine process32("", "process.64bit = false\n");
  Machine process64("", "process.64bit = true\n");
  std::string bytes32, bytes64;
  ASSERT_EQ(process32.p().system().EngineResource("DLL", &bytes32), Status::kOk);
  ASSERT_EQ(process64.p().system().EngineResource("DLL", &bytes64), Status::kOk);
  PeLibrary pe;
  ASSERT_TRUE(ReadPeLibrary(bytes32, &pe, nullptr));
  EXPECT_EQ(pe.machine, kPeMachineI386);
  ASSERT_TRUE(ReadPeLibrary(bytes64, &pe, nullptr));
  EXPECT_EQ(pe.machine, kPeMachineAmd64);

  WebServer& server = process32.p().web_server();
  FileSystem& files = process32.p().files();
  ASSERT_EQ(files.CreateDirectories("C:\\S"), Status::kOk);
  Status s = Status::kOk;
  EXPECT_FALSE(server.LoadAdminLibrary("C:\\S\\missing.dll", &s));
  EXPECT_EQ(s, Status::kNotFound);
  ASSERT_EQ(files.WriteFile("C:\\S\\other.dll", bytes64), Status::kOk);
  EXPECT_FALSE(server.LoadAdminLibrary("C:\\S\\other.dll", &s));
  EXPECT_EQ(s, Status::kFailed);
  ASSERT_EQ(files.WriteFile("C:\\S\\own.dll", bytes32), Status::kOk);
  EXPECT_TRUE(server.LoadAdminLibrary("C:\\S\\own.dll", &s));
  // A cut or damaged file is refused without reading outside its bytes.
  for (size_t size : {size_t{0}, size_t{2}, size_t{64}, size_t{400}}) {
    ASSERT_EQ(files.WriteFile("C:\\S\\cut.dll", bytes32.substr(0, size)), Status::kOk);
    EXPECT_FALSE(server.LoadAdminLibrary("C:\\S\\cut.dll", &s)) << size;
  }
  std::string damaged = bytes32;
  damaged[0x3C] = '\x7F';  // the header offset points past the file
  damaged[0x3D] = '\x7F';
  damaged[0x3E] = '\x7F';
  EXPECT_FALSE(ReadPeLibrary(damaged, &pe, nullptr));
}

// Damaged library files: every header byte and a spread of others set to 0x00 and 0xFF, then
// cut at every header length. The reader never reads outside the bytes (the sanitizers watch)
// and what it accepts stays within bounds.
TEST(PeLibrary, DamagedImagesNeverReadOutsideTheirBytes) {
  Machine machine("");
  std::string bytes;
  ASSERT_EQ(machine.p().system().EngineResource("DLL", &bytes), Status::kOk);
  PeLibrary pe;
  std::string error;
  std::string damaged = bytes;
  for (size_t at = 0; at < bytes.size(); at += at < 1024 ? 1 : 997) {
    for (char value : {'\0', '\xFF'}) {
      damaged[at] = value;
      const bool read = ReadPeLibrary(damaged, &pe, &error);
      damaged[at] = bytes[at];
      if (read) {
        EXPECT_LE(pe.exports.size(), 65536u);
        for (const std::string& name : pe.exports) ASSERT_LE(name.size(), 4096u);
      }
    }
  }
  for (size_t size = 0; size < 1024; ++size) {
    EXPECT_FALSE(ReadPeLibrary(std::string_view(bytes).substr(0, size), &pe, &error)) << size;
  }
  EXPECT_FALSE(ReadPeLibrary("MZ", &pe, &error));
  EXPECT_EQ(error, "not an executable");
}

// The transcript shows the server's work on both paths, line breaks of values as "\n".
TEST(SimWebServer, TranscriptShowsEveryCallAndItsOutcome) {
  Machine machine(kServer);
  Transcript t;
  RecordingWebServer recording(machine.p().web_server(), t);
  Status s = Status::kOk;
  auto service = recording.OpenWebService("localhost", &s);
  ASSERT_TRUE(service);
  auto site = service->GetChild("IIsWebServer", "1", &s);
  ASSERT_TRUE(site);
  std::string v;
  site->Get("ServerBindings", &v);
  site->Put("ServerComment", "New");
  site->Put("Colour", "red");
  site->SetInfo();
  site->Invoke("Start", {});
  EXPECT_FALSE(service->GetChild("IIsWebServer", "8", &s));
  service->Delete("IIsWebServer", "8");
  EXPECT_FALSE(recording.LoadAdminLibrary("C:\\none.dll", &s));
  EXPECT_EQ(t.Lines(),
            (std::vector<std::string>{
                "web server open IIS://localhost/W3SVC -> ok",
                "web server open IIS://localhost/W3SVC/1 (IIsWebServer) -> ok",
                "web server get IIS://localhost/W3SVC/1 ServerBindings -> \":80:\\n:81:b\"",
                "web server put IIS://localhost/W3SVC/1 ServerComment = \"New\" -> ok",
                "web server put IIS://localhost/W3SVC/1 Colour = \"red\" -> invalid name",
                "web server commit IIS://localhost/W3SVC/1 -> ok",
                "web server call IIS://localhost/W3SVC/1 Start -> ok",
                "web server open IIS://localhost/W3SVC/8 (IIsWebServer) -> not found",
                "web server delete IIS://localhost/W3SVC/8 (IIsWebServer) -> not found",
                "web admin library load \"C:\\none.dll\" -> not found"}))
      << t.Text();
}

// Folders: a site's child is its "Root", a folder's children the next level of names; a folder
// is opened only by its own class, and deleting one takes the folders below it.
TEST(SimWebServer, FoldersNestBelowTheirSite) {
  Machine machine(std::string(kServer) + "[folder 1 Root/shop/img]\nPath = C:\\img\n");
  Status s = Status::kOk;
  auto service = machine.p().web_server().OpenWebService("localhost", &s);
  ASSERT_TRUE(service);
  auto site = service->GetChild("IIsWebServer", "1", &s);
  ASSERT_TRUE(site);
  std::vector<WebAdminChild> children;
  ASSERT_EQ(site->Children(&children), Status::kOk);
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].name, "Root");
  auto root = site->GetChild("IIsWebVirtualDir", "Root", &s);
  ASSERT_TRUE(root);
  ASSERT_EQ(root->Children(&children), Status::kOk);
  ASSERT_EQ(children.size(), 1u);
  EXPECT_EQ(children[0].name, "shop");
  EXPECT_FALSE(site->GetChild("IIsWebServer", "Root", &s)) << "the class must match";
  EXPECT_EQ(s, Status::kNotFound);
  EXPECT_TRUE(site->GetChild("IIsWebVirtualDir", "root\\shop\\", &s)) << "names as the server "
                                                                         "reads them";
  // A made object that is not committed yet has nothing below it.
  auto made = root->Create("IIsWebVirtualDir", "new", &s);
  ASSERT_TRUE(made);
  EXPECT_FALSE(made->GetChild("IIsWebVirtualDir", "x", &s));
  EXPECT_FALSE(made->Create("IIsWebVirtualDir", "x", &s));
  EXPECT_EQ(site->Delete("IIsWebVirtualDir", "Root/shop"), Status::kOk);
  WebServerModel m = machine.Model();
  EXPECT_EQ(m.nodes.count("1/Root/shop/img"), 0u);
  EXPECT_EQ(m.nodes.count("1/Root"), 1u);
}

// The library's calls in the transcript, with their outcomes and results.
TEST(SimWebServer, TranscriptShowsTheLibraryCalls) {
  std::string text = kServer;
  text.replace(0, std::string("version = 6.0").size(), "version = 7.5");
  Machine machine(text);
  std::string bytes;
  ASSERT_EQ(machine.p().system().EngineResource("DLL", &bytes), Status::kOk);
  ASSERT_EQ(machine.p().files().WriteFile("C:\\a.dll", bytes), Status::kOk);
  Transcript t;
  RecordingWebServer recording(machine.p().web_server(), t);
  Status s = Status::kOk;
  auto library = recording.LoadAdminLibrary("C:\\a.dll", &s);
  ASSERT_TRUE(library);
  std::string v;
  library->GetProperty("localhost", false, 1, "shop", "AccessWrite", &v);
  library->SetProperty("localhost", true, 1, "", "ServerBindings", ":80:\r\n:8080:");
  library->DeleteSite("localhost", 9);
  EXPECT_EQ(t.Lines(),
            (std::vector<std::string>{
                "web admin library load \"C:\\a.dll\" -> ok",
                "web admin library GetIISProperty localhost site 1 folder \"shop\" AccessWrite -> "
                "ok \"TRUE\"",
                "web admin library SetIISProperty localhost site 1 ServerBindings = "
                "\":80:\\n:8080:\" -> ok",
                "web admin library DeleteIISSite localhost site 9 -> failed"}))
      << t.Text();
}

}  // namespace
}  // namespace corvane::platform::sim

// The web-server commands. Natively against the simulated machine's server on both of its
// administration paths: a version 6 server through its scripting interface and a version 10
// server through the administration library that the engine writes into its support folder.
// Under Wine there is no web server: every command fails as a missing server makes it fail.
#include "commands/webserver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "commands/testing/command_script.h"
#include "commands/testing/test_machine.h"
#include "commands/webserver_scripting.h"
#include "platform/text.h"

#ifndef _WIN32
#include "platform/sim/sim_platform.h"
#include "platform/sim/transcript.h"
#endif

namespace corvane::commands {
namespace {

using testing::CommandRun;
using testing::CommandScript;
using testing::TestMachine;

TEST(WebServerTexts, FoldersBindingsAndMimeMaps) {
  EXPECT_EQ(MetabaseFolder(""), "Root");
  EXPECT_EQ(MetabaseFolder("/"), "Root");
  EXPECT_EQ(MetabaseFolder("shop\\images\\"), "Root/shop/images");
  EXPECT_EQ(MetabaseFolder("/shop/"), "Root/shop");
  EXPECT_EQ(SiteBinding("", "80", ""), ":80:");
  EXPECT_EQ(SiteBinding("10.0.0.1", "8080", "www.example.com"), "10.0.0.1:8080:www.example.com");
  EXPECT_EQ(MimeMapLines(".a=x/a, ,.b=x/b ,"), ".a=x/a\r\n.b=x/b");
  EXPECT_EQ(MimeMapLines(""), "");
}

#ifndef _WIN32

// A server with two sites (1 and 3, so that the next free index is 2), a folder, an anonymous
// account on the web service, and the ASP.NET tool of version 2.0 as a stand-in program.
std::string ServerText(const std::string& version) {
  return "version = " + version +
         "\n"
         "[service]\n"
         "AnonymousUserName = IUSR_TEST\n"
         "[site 1]\n"
         "ServerComment = Default Web Site\n"
         "ServerBindings = :80:\n"
         "ServerState = 2\n"
         "[folder 1 Root]\n"
         "Path = C:\\Inetpub\\wwwroot\n"
         "[site 3]\n"
         "ServerComment = Shop\n"
         "ServerBindings = :8080:\n"
         "ServerState = 4\n";
}

class WebServerCommands : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(sim().InstallWebServer(ServerText(GetParam()), &error)) << error;
    machine_.Write("support\\keep.txt", "");
  }

  platform::SimPlatform& sim() { return dynamic_cast<platform::SimPlatform&>(machine_.platform()); }
  bool library() const { return std::string(GetParam()) != "6.0"; }

  CommandRun Run(const std::string& text, platform::WebServer* server = nullptr) {
    CommandScript script(machine_.platform());
    script.predefined = {{"IISHOST", "localhost"},
                         {"SUPPORTDIR", machine_.root() + "\\support"},
                         {"ROOT", machine_.root()}};
    script.web_server = server;
    return script.Run(text);
  }

  platform::sim::WebServerModel Model() {
    platform::sim::WebServerModel m;
    EXPECT_TRUE(sim().sim_web_server().Load(&m)) << sim().sim_web_server().LastError();
    return m;
  }
  std::string Node(const std::string& path, const std::string& property) {
    platform::sim::WebServerModel m = Model();
    auto it = m.nodes.find(path);
    if (it == m.nodes.end()) return "<no object>";
    auto p = it->second.properties.find(property);
    return p == it->second.properties.end() ? "<unset>" : p->second;
  }
  size_t Sites() {
    platform::sim::WebServerModel m = Model();
    return std::count_if(m.nodes.begin(), m.nodes.end(),
                         [](const auto& n) { return n.second.class_name == "IIsWebServer"; });
  }

  TestMachine machine_;
};

TEST_P(WebServerCommands, ListIndexAndProperties) {
  CommandRun run = Run(R"(
Get IIS Site List "LIST"
Get IIS Site Index "shop" "INDEX"
Get IIS Site Index "No Such Site" "MISSING"
Get IIS Property "TRUE" "" "1" "" "ServerComment" "COMMENT"
Get IIS Property "FALSE" "" "1" "" "Path" "PATH"
Get IIS Property "FALSE" "" "1" "" "AccessRead" "INHERITED"
Get IIS Property "TRUE" "" "1" "" "NoSuchProperty" "UNKNOWN"
Get IIS Property "TRUE" "" "9" "" "ServerComment" "NOSITE"
Get IIS Property "FALSE" "" "1" "nofolder" "Path" "NOFOLDER"
Get IIS Property "TRUE" "" "one" "" "ServerComment" "NOTANUMBER"
Set IIS Property "TRUE" "" "3" "" "ServerComment" "Web Shop"
Set IIS Property "FALSE" "" "1" "" "AccessWrite" "maybe"
Set IIS Property "TRUE" "" "3" "" "ServerBindings" ":81:$NEWLINE$:82:a"
Get IIS Property "TRUE" "" "3" "" "ServerComment" "RENAMED"
Get IIS Property "FALSE" "" "1" "" "AccessWrite" "REFUSED"
Get IIS Property "TRUE" "" "3" "" "ServerBindings" "BINDINGS"
)");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(run.Var("LIST"), "Default Web Site$NEWLINE$Shop");
  EXPECT_EQ(run.Var("INDEX"), "3");
  EXPECT_FALSE(run.Has("MISSING"));
  EXPECT_EQ(run.Var("COMMENT"), "Default Web Site");
  EXPECT_EQ(run.Var("PATH"), "C:\\Inetpub\\wwwroot");
  EXPECT_EQ(run.Var("INHERITED"), "TRUE");  // the server's default
  for (const char* v : {"UNKNOWN", "NOSITE", "NOFOLDER", "NOTANUMBER"}) {
    EXPECT_EQ(run.Var(v), "!ERROR!") << v;
  }
  EXPECT_EQ(run.Var("RENAMED"), "Web Shop");
  EXPECT_EQ(run.Var("REFUSED"), "FALSE");  // a value the server refuses changes nothing
  EXPECT_EQ(run.Var("BINDINGS"), ":81:$NEWLINE$:82:a");
  EXPECT_EQ(Node("3", "ServerBindings"), ":81:\r\n:82:a");
}

TEST_P(WebServerCommands, CreateControlAndDeleteSitesAndFolders) {
  CommandRun run = Run(R"(
Create IIS Site "Web Shop" "next" "10.0.0.1" "shop.example" "8081" "443" "300" "TRUE" "TRUE" "TRUE" "TRUE" "FALSE" "FALSE" "50" "2"
Get IIS Site Index "Web Shop" "INDEX"
Create Virtual Folder "shop\images" "$ROOT$\img" "TRUE" "TRUE" "FALSE" "FALSE" "TRUE" "FALSE" "2|ShopPool" "1|0" "TRUE" "index.htm,default.htm" "" "TRUE" "FALSE" "FALSE" ".webp=image/webp,.avif=image/avif" "$INDEX$"
Create Virtual Folder "gone" "$ROOT$\x" "TRUE" "TRUE" "FALSE" "FALSE" "TRUE" "FALSE" "0|" "0|0" "TRUE" "" "" "TRUE" "FALSE" "FALSE" "" "7"
)");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(run.Var("INDEX"), "2");  // the first free index
  EXPECT_EQ(Node("2", "ServerComment"), "Web Shop");
  EXPECT_EQ(Node("2", "ServerBindings"), "10.0.0.1:8081:shop.example");
  EXPECT_EQ(Node("2", "SecureBindings"), "10.0.0.1:443:shop.example");
  EXPECT_EQ(Node("2", "ConnectionTimeout"), "300");
  EXPECT_EQ(Node("2", "MaxConnections"), "50");
  EXPECT_EQ(Node("2", "LogType"), "1");
  EXPECT_EQ(Node("2", "ServerSize"), "2");
  platform::sim::WebServerModel m = Model();
  EXPECT_EQ(m.extensions, std::vector<std::string>{"ASP"});
  EXPECT_EQ(m.extension_files, std::vector<std::string>{"*.exe"});

  const std::string folder = "2/Root/shop/images";
  EXPECT_EQ(Node(folder, "Path"), machine_.root() + "\\img");
  EXPECT_EQ(Node(folder, "AccessSource"), "TRUE");
  EXPECT_EQ(Node(folder, "AccessWrite"), "FALSE");
  EXPECT_EQ(Node(folder, "AccessScript"), "TRUE");
  EXPECT_EQ(Node(folder, "AccessExecute"), "FALSE");
  EXPECT_EQ(Node(folder, "DontLog"), "FALSE");
  EXPECT_EQ(Node(folder, "DefaultDoc"), "index.htm,default.htm");
  EXPECT_EQ(Node(folder, "EnableDocFooter"), "FALSE");
  EXPECT_EQ(Node(folder, "MimeMap"), ".webp=image/webp\r\n.avif=image/avif");
  EXPECT_EQ(Node(folder, "AppPoolId"), "ShopPool");
  EXPECT_EQ(Node(folder, "AppFriendlyName"), "shop\\images");
  EXPECT_NE(m.nodes.find("AppPools/ShopPool"), m.nodes.end()) << "the pool named is made";
  EXPECT_EQ(m.nodes.count("7/Root/gone"), 0u) << "no folder without its site";

  // Start, stop, pause (a site is started first) and continue. Version 7 sites cannot pause:
  // they keep running.
  run = Run("Control IIS Site \"2\" \"0\"\n");
  EXPECT_EQ(Node("2", "ServerState"), "2");
  run = Run("Control IIS Site \"2\" \"1\"\n");
  EXPECT_EQ(Node("2", "ServerState"), "4");
  run = Run("Control IIS Site \"2\" \"2\"\n");
  EXPECT_EQ(Node("2", "ServerState"), library() ? "2" : "6");
  run = Run("Control IIS Site \"2\" \"3\"\n");
  EXPECT_EQ(Node("2", "ServerState"), "2");
  run = Run("Control IIS Site \"2\" \"1\"\nControl IIS Site \"2\" \"9\"\n");
  EXPECT_EQ(Node("2", "ServerState"), "4") << "an unknown action does nothing";

  run = Run("Delete Virtual Folder \"2\" \"shop/images\"\n");
  EXPECT_EQ(Model().nodes.count(folder), 0u);
  EXPECT_EQ(Node("2", "ServerComment"), "Web Shop");
  run = Run("Delete IIS Site \"2\"\nDelete IIS Site \"two\"\nGet IIS Site List \"LIST\"\n");
  ASSERT_FALSE(run.Failed());
  EXPECT_EQ(Model().nodes.count("2"), 0u);
  EXPECT_EQ(run.Var("LIST"), "Default Web Site$NEWLINE$Shop");
}

// The folder's ASP.NET version is registered by that version's own tool, started with the
// site's metabase path; "0" starts nothing.
TEST_P(WebServerCommands, AspNetVersionRunsItsRegistrationTool) {
  platform::FileSystem& files = machine_.platform().files();
  const std::string tool =
      machine_.platform().system().WindowsFolder() + "\\Microsoft.NET\\Framework\\v2.0.50727";
  ASSERT_EQ(files.CreateDirectories(tool), platform::Status::kOk);
  ASSERT_EQ(files.WriteFile(tool + "\\aspnet_regiis.exe", "[program]\nexit = 0\n"),
            platform::Status::kOk);
  CommandRun run = Run(R"(
Create Virtual Folder "app" "$ROOT$\app" "FALSE" "TRUE" "FALSE" "FALSE" "TRUE" "FALSE" "2|" "1|2" "TRUE" "" "" "TRUE" "FALSE" "FALSE" "" "1"
Create Virtual Folder "" "$ROOT$\root" "FALSE" "TRUE" "FALSE" "FALSE" "TRUE" "FALSE" "0|" "1|0" "TRUE" "" "" "TRUE" "FALSE" "FALSE" "" "3"
)");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  auto starts = sim().sim_processes().Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_TRUE(platform::SameText(starts[0].path, tool + "\\aspnet_regiis.exe")) << starts[0].path;
  EXPECT_TRUE(platform::SameText(starts[0].folder.substr(0, tool.size()), tool))
      << starts[0].folder;
  EXPECT_EQ(starts[0].command_line, "-s \"w3svc/1/Root/app\"");
  EXPECT_EQ(Node("3/Root", "Path"), machine_.root() + "\\root");
}

TEST_P(WebServerCommands, AnonymousUserLeavesNoSiteBehind) {
  platform::sim::Transcript t;
  platform::sim::RecordingWebServer recording(sim().web_server(), t);
  CommandRun run =
      Run("IIS Anonymous User \"ANON\"\nGet System Settings \"S59\" \"59\"\n", &recording);
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(run.Var("ANON"), "IUSR_TEST");
  EXPECT_EQ(run.Var("S59"), "IUSR_TEST");
  EXPECT_EQ(Sites(), 2u);
  // Only the command makes a temporary site, and it deletes the one it made.
  std::vector<std::string> made;
  for (const std::string& line : t.Lines()) {
    if (line.find("web server create") == 0 || line.find("web server delete") == 0) {
      made.push_back(line);
    }
  }
  if (library()) {
    EXPECT_TRUE(made.empty());
  } else {
    EXPECT_EQ(made, (std::vector<std::string>{
                        "web server create IIS://localhost/W3SVC/2 (IIsWebServer) -> ok",
                        "web server delete IIS://localhost/W3SVC/2 (IIsWebServer) -> ok"}))
        << t.Text();
  }
}

// The library is written into the support folder once per run and loaded by that path for each
// command; without a support folder the later servers cannot be reached.
TEST_P(WebServerCommands, LibraryWrittenOncePerRunAndLoadedByPath) {
  if (!library()) GTEST_SKIP() << "servers before version 7 take the scripting interface";
  platform::sim::Transcript t;
  platform::sim::RecordingWebServer recording(sim().web_server(), t);
  CommandRun run = Run("Get IIS Site List \"A\"\nGet IIS Site List \"B\"\n", &recording);
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(run.Var("B"), run.Var("A"));
  const std::string path = machine_.root() + "\\support\\ahadmin_wrapper.dll";
  EXPECT_TRUE(machine_.Exists("support\\ahadmin_wrapper.dll"));
  int loads = 0;
  for (const std::string& line : t.Lines()) {
    if (line == "web admin library load \"" + path + "\" -> ok") ++loads;
  }
  EXPECT_EQ(loads, 2) << t.Text();

  // Without a support folder to write it into, the later servers cannot be reached.
  CommandScript script(machine_.platform());
  script.predefined = {{"SUPPORTDIR", machine_.root() + "\\nowhere"}};
  run = script.Run("Get IIS Property \"TRUE\" \"\" \"1\" \"\" \"ServerComment\" \"P\"\n");
  EXPECT_EQ(run.Var("P"), "!ERROR!");
}

// A site of an index that exists is opened and changed, not made twice; the settings that are
// off leave their defaults or switch logging off.
TEST_P(WebServerCommands, CreateSiteOpensAnExistingIndexAndAppliesEachSetting) {
  CommandRun run = Run(R"(
Create IIS Site "Renamed" "3" "" "" "8090" "" "" "FALSE" "FALSE" "FALSE" "FALSE" "TRUE" "TRUE" "10" ""
Create IIS Site "Fourth" "4" "" "" "80" "" "x" "TRUE" "TRUE" "FALSE" "FALSE" "FALSE" "FALSE" "" ""
)");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(Sites(), 3u);
  EXPECT_EQ(Node("3", "ServerComment"), "Renamed");
  EXPECT_EQ(Node("3", "ServerBindings"), ":8090:");
  EXPECT_EQ(Node("3", "SecureBindings"), "<unset>");
  EXPECT_EQ(Node("3", "AllowKeepAlive"), "FALSE");
  EXPECT_EQ(Node("3", "LogType"), "0");
  EXPECT_EQ(Node("3", "MaxConnections"), "-1") << "unlimited wins over a number";
  EXPECT_EQ(Node("3", "ConnectionTimeout"), "<unset>");
  EXPECT_EQ(Node("4", "ServerComment"), "Fourth");
  EXPECT_EQ(Node("4", "ConnectionTimeout"), "<unset>") << "not an integer: left as it is";
  EXPECT_EQ(Node("4", "MaxConnections"), "<unset>");
  platform::sim::WebServerModel m = Model();
  EXPECT_TRUE(m.extensions.empty());
  EXPECT_TRUE(m.extension_files.empty());
}

// Application protection: none makes no application; low, pooled and high are the server's
// isolation modes 0, 2 and 1 (a version 7 server runs every application in a pool). A footer
// file switches the footer on.
TEST_P(WebServerCommands, FolderApplicationsAndFooter) {
  CommandRun run = Run(R"(
Create Virtual Folder "none" "C:\n" "FALSE" "TRUE" "FALSE" "FALSE" "TRUE" "FALSE" "0|Ignored" "2|0" "FALSE" "" "footer.htm" "FALSE" "TRUE" "TRUE" "" "1"
Create Virtual Folder "low" "C:\l" "FALSE" "TRUE" "FALSE" "FALSE" "FALSE" "TRUE" "1|" "0|0" "TRUE" "" "" "TRUE" "FALSE" "FALSE" "" "1"
Create Virtual Folder "high" "C:\h" "FALSE" "TRUE" "FALSE" "FALSE" "FALSE" "TRUE" "3|" "0|0" "TRUE" "" "" "TRUE" "FALSE" "FALSE" "" "1"
)");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(Node("1/Root/none", "AppIsolated"), "<unset>");
  EXPECT_EQ(Node("1/Root/none", "AppPoolId"), "<unset>");
  EXPECT_EQ(Node("1/Root/none", "AccessExecute"), "TRUE");
  EXPECT_EQ(Node("1/Root/none", "EnableDocFooter"), "TRUE");
  EXPECT_EQ(Node("1/Root/none", "DefaultDocFooter"), "FILE:footer.htm");
  EXPECT_EQ(Node("1/Root/none", "AuthNTLM"), "TRUE");
  EXPECT_EQ(Node("1/Root/low", "AppIsolated"), "0");
  EXPECT_EQ(Node("1/Root/low", "DontLog"), "TRUE");
  EXPECT_EQ(Node("1/Root/low", "ContentIndexed"), "TRUE");
  EXPECT_EQ(Node("1/Root/low", "AppFriendlyName"), "low");
  EXPECT_EQ(Node("1/Root/high", "AppIsolated"), "1");
  EXPECT_EQ(Node("1/Root/high", "AppPoolId"), library() ? "DefaultAppPool" : "<unset>");
  EXPECT_EQ(Node("1/Root/high", "AppRoot"), "/LM/W3SVC/1/Root/high");
}

// IISHOST names the server: another computer is not reached, this computer's name is.
TEST_P(WebServerCommands, HostNamesTheServer) {
  CommandScript script(machine_.platform());
  script.predefined = {{"SUPPORTDIR", machine_.root() + "\\support"}, {"IISHOST", "FARAWAY"}};
  CommandRun run = script.Run(
      "Get IIS Property \"TRUE\" \"\" \"1\" \"\" \"ServerComment\" \"P\"\n"
      "Set IIS Property \"TRUE\" \"\" \"1\" \"\" \"ServerComment\" \"Changed\"\n"
      "Get System Settings \"IISHOST\" \"61\"\n"
      "Get IIS Property \"TRUE\" \"\" \"1\" \"\" \"ServerComment\" \"LOCAL\"\n");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(run.Var("P"), "!ERROR!");
  EXPECT_EQ(Node("1", "ServerComment"), "Default Web Site");
  EXPECT_EQ(run.Var("LOCAL"), "Default Web Site");
}

INSTANTIATE_TEST_SUITE_P(Versions, WebServerCommands, ::testing::Values("6.0", "10.0"));

// A scripting interface whose new sites cannot be read: the temporary site is still deleted.
class UnreadableNewSites : public platform::WebServerWrapper {
 public:
  using WebServerWrapper::WebServerWrapper;
  class Object : public platform::WebAdminObject {
   public:
    Object(std::unique_ptr<WebAdminObject> target, bool made)
        : t_(std::move(target)), made_(made) {}
    std::string ClassName() override { return t_->ClassName(); }
    std::string Name() override { return t_->Name(); }
    platform::Status Get(const std::string& p, std::string* v) override {
      return made_ ? platform::Status::kFailed : t_->Get(p, v);
    }
    platform::Status Put(const std::string& p, const std::string& v) override {
      return t_->Put(p, v);
    }
    platform::Status SetInfo() override { return t_->SetInfo(); }
    std::unique_ptr<WebAdminObject> GetChild(const std::string& c, const std::string& n,
                                             platform::Status* s) override {
      return Wrap(t_->GetChild(c, n, s), false);
    }
    std::unique_ptr<WebAdminObject> Create(const std::string& c, const std::string& n,
                                           platform::Status* s) override {
      return Wrap(t_->Create(c, n, s), true);
    }
    platform::Status Delete(const std::string& c, const std::string& n) override {
      return t_->Delete(c, n);
    }
    platform::Status Children(std::vector<platform::WebAdminChild>* c) override {
      return t_->Children(c);
    }
    platform::Status Invoke(const std::string& m, const std::vector<platform::WebArg>& a) override {
      return t_->Invoke(m, a);
    }

   private:
    static std::unique_ptr<WebAdminObject> Wrap(std::unique_ptr<WebAdminObject> o, bool made) {
      return o ? std::make_unique<Object>(std::move(o), made) : nullptr;
    }
    std::unique_ptr<WebAdminObject> t_;
    bool made_;
  };
  std::unique_ptr<platform::WebAdminObject> OpenWebService(const std::string& host,
                                                           platform::Status* status) override {
    auto service = target_.OpenWebService(host, status);
    return service ? std::make_unique<Object>(std::move(service), false) : nullptr;
  }
};

TEST(WebServerAnonymousUser, TemporarySiteDeletedWhenItCannotBeRead) {
  TestMachine machine;
  auto& sim = dynamic_cast<platform::SimPlatform&>(machine.platform());
  ASSERT_TRUE(sim.InstallWebServer(ServerText("6.0")));
  UnreadableNewSites server(sim.web_server());
  CommandScript script(machine.platform());
  script.web_server = &server;
  CommandRun run = script.Run("Set Variable \"ANON\" \"old\"\nIIS Anonymous User \"ANON\"\n");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(run.Var("ANON"), "");
  platform::sim::WebServerModel m;
  ASSERT_TRUE(sim.sim_web_server().Load(&m));
  EXPECT_EQ(m.nodes.count("2"), 0u) << m.Text();
  EXPECT_EQ(m.nodes.count("1") + m.nodes.count("3"), 2u);
}

// The two exports no command calls, on the scripting interface: the account of the site's pool
// by its identity type, and the site's state.
TEST(ScriptingAdmin, PoolAccountsAndSiteStates) {
  TestMachine machine;
  auto& sim = dynamic_cast<platform::SimPlatform&>(machine.platform());
  ASSERT_TRUE(sim.InstallWebServer(ServerText("6.0") +
                                   "[folder 3 Root]\nAppPoolId = Custom\n"
                                   "[pool DefaultAppPool]\nAppPoolIdentityType = 0\n"
                                   "[pool Custom]\nAppPoolIdentityType = 3\nWAMUserName = web\n"));
  ScriptingAdmin admin(sim.web_server());
  std::string account;
  ASSERT_EQ(admin.UniqueAccountId("localhost", 1, &account), platform::Status::kOk);
  EXPECT_EQ(account, "NT AUTHORITY\\SYSTEM");
  ASSERT_EQ(admin.UniqueAccountId("localhost", 3, &account), platform::Status::kOk);
  EXPECT_EQ(account, "web");
  EXPECT_NE(admin.UniqueAccountId("localhost", 2, &account), platform::Status::kOk);
  int32_t state = 0;
  ASSERT_EQ(admin.SiteState("localhost", 1, &state), platform::Status::kOk);
  EXPECT_EQ(state, 2);
  ASSERT_EQ(admin.ControlSite("localhost", 1, 2), platform::Status::kOk);
  ASSERT_EQ(admin.SiteState("localhost", 1, &state), platform::Status::kOk);
  EXPECT_EQ(state, 6);
  EXPECT_NE(admin.SiteState("localhost", 2, &state), platform::Status::kOk);
  EXPECT_EQ(admin.ControlSite("localhost", 1, 4), platform::Status::kInvalidName);
}

// Without a server the account is empty and the result variable is made all the same.
TEST(WebServerAnonymousUser, NoServerGivesEmpty) {
  TestMachine machine;
  CommandScript script(machine.platform());
  CommandRun run = script.Run("IIS Anonymous User \"$anon$\"\n");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_TRUE(run.Has("ANON"));
  EXPECT_EQ(run.Var("ANON"), "");
}

#endif  // !_WIN32

// The machine without a web server (under Wine the real one; natively a machine without one):
// Get IIS Property stores "!ERROR!", the other commands store and change nothing, and the
// script goes on.
TEST(WebServerCommandsWithoutServer, FailQuietly) {
  TestMachine machine;
  CommandScript script(machine.platform());
  script.predefined = {{"IISHOST", "localhost"}, {"SUPPORTDIR", machine.root()}};
  CommandRun run = script.Run(R"(
Get IIS Site List "LIST"
Get IIS Site Index "Default Web Site" "INDEX"
Get IIS Property "TRUE" "" "1" "" "ServerComment" "PROPERTY"
Set IIS Property "TRUE" "" "1" "" "ServerComment" "changed"
Create IIS Site "Shop" "2" "" "" "80" "" "120" "TRUE" "TRUE" "FALSE" "FALSE" "TRUE" "FALSE" "" ""
Create Virtual Folder "app" "C:\app" "FALSE" "TRUE" "FALSE" "FALSE" "TRUE" "FALSE" "0|" "1|2" "TRUE" "" "" "TRUE" "FALSE" "FALSE" "" "2"
Control IIS Site "1" "1"
Delete Virtual Folder "1" "app"
Delete IIS Site "2"
IIS Anonymous User "ANON"
Set Variable "AFTER" "1"
)");
  ASSERT_FALSE(run.Failed()) << run.text_error;
  EXPECT_EQ(run.Var("PROPERTY"), "!ERROR!");
  EXPECT_FALSE(run.Has("LIST"));
  EXPECT_FALSE(run.Has("INDEX"));
  EXPECT_EQ(run.Var("ANON"), "");
  EXPECT_EQ(run.Var("AFTER"), "1");
}

// The service's calls on a machine without a server (under Wine, the real system): no scripting
// interface answers, a missing library is not found, and a file that is no library does not
// load.
TEST(WebServerService, NothingAnswersWithoutAServer) {
  TestMachine machine;
  platform::WebServer& server = machine.platform().web_server();
  platform::Status s = platform::Status::kOk;
  EXPECT_FALSE(server.OpenWebService("localhost", &s));
  EXPECT_EQ(s, platform::Status::kNotFound);
  EXPECT_FALSE(server.LoadAdminLibrary(machine.root() + "\\missing.dll", &s));
  EXPECT_EQ(s, platform::Status::kNotFound);
  machine.Write("text.dll", "not a library at all, but long enough to be read as one");
  EXPECT_FALSE(server.LoadAdminLibrary(machine.root() + "\\text.dll", &s));
  EXPECT_EQ(s, platform::Status::kFailed);
}

// The administration library the engine carries loads by its full path and answers every call;
// on a machine without a server of version 7 or later (Wine has none) each call fails.
TEST(WebAdminLibrary, LoadsFromTheEngineResourceAndFailsWithoutAServer) {
  TestMachine machine;
  platform::Platform& p = machine.platform();
  std::string bytes;
  ASSERT_EQ(p.system().EngineResource("DLL", &bytes), platform::Status::kOk);
  ASSERT_GT(bytes.size(), 1024u);
  EXPECT_EQ(bytes.substr(0, 2), "MZ");
  const std::string path = machine.root() + "\\" + kAdminLibraryName;
  ASSERT_EQ(p.files().WriteFile(path, bytes), platform::Status::kOk);
  platform::Status s = platform::Status::kFailed;
  auto library = p.web_server().LoadAdminLibrary(path, &s);
  ASSERT_TRUE(library) << platform::StatusName(s);
  const platform::Status failed = platform::Status::kFailed;
  std::string text;
  int32_t n = 0;
  EXPECT_EQ(library->SiteList("localhost", &text), failed);
  EXPECT_EQ(library->SiteIndex("localhost", "Default Web Site", &n), failed);
  EXPECT_EQ(library->GetProperty("localhost", true, 1, "", "ServerComment", &text), failed);
  EXPECT_EQ(library->SetProperty("localhost", false, 1, "", "AccessRead", "TRUE"), failed);
  platform::WebSiteSettings site;
  site.description = "Shop";
  site.port = "8080";
  EXPECT_EQ(library->CreateSite("localhost", site, &n), failed);
  platform::WebFolderSettings folder;
  folder.site = 1;
  folder.folder = "app";
  EXPECT_EQ(library->CreateFolder("localhost", folder), failed);
  EXPECT_EQ(library->DeleteSite("localhost", 1), failed);
  EXPECT_EQ(library->DeleteFolder("localhost", 1, "app"), failed);
  EXPECT_EQ(library->ControlSite("localhost", 1, 0), failed);
  EXPECT_EQ(library->AnonymousUser("localhost", &text), failed);
  EXPECT_EQ(library->UniqueAccountId("localhost", 1, &text), failed);
  EXPECT_EQ(library->SiteState("localhost", 1, &n), failed);
  library.reset();
  EXPECT_EQ(p.files().DeleteFile(path), platform::Status::kOk) << "the library is unloaded";
}

}  // namespace
}  // namespace corvane::commands

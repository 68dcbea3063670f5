#include "interp/property_lists.h"

#include <algorithm>

#include "interp/variables.h"
#include "platform/text.h"

namespace corvane::interp {

void InstallerProperties::RecordInstallerProperty(std::string_view name, std::string_view value) {
  std::string stored = NewlinesToToken(value);
  std::lock_guard<std::mutex> lock(mutex_);
  database_.emplace_back(std::string(name), stored);
  session_.emplace_back(name);
  session_.push_back(std::move(stored));
}

void InstallerProperties::RecordSecretProperty(std::string_view name, std::string_view value) {
  RecordInstallerProperty(name, value);
  std::lock_guard<std::mutex> lock(mutex_);
  if (std::find(secret_names_.begin(), secret_names_.end(), name) == secret_names_.end()) {
    secret_names_.emplace_back(name);
  }
}

bool InstallerProperties::IsSecret(std::string_view name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::find(secret_names_.begin(), secret_names_.end(), name) != secret_names_.end();
}

std::vector<std::string> InstallerProperties::secret_names() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return secret_names_;
}

std::vector<std::pair<std::string, std::string>> InstallerProperties::TakeDatabaseProperties() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::pair<std::string, std::string>> out;
  out.swap(database_);
  return out;
}

std::vector<std::pair<std::string, std::string>> InstallerProperties::database_properties() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return database_;
}

void InstallerProperties::ClearDatabaseProperties() {
  std::lock_guard<std::mutex> lock(mutex_);
  database_.clear();
}

std::vector<std::string> InstallerProperties::session_properties() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return session_;
}

std::vector<std::string> InstallerProperties::public_session_properties() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::string> kept;
  for (size_t i = 0; i + 1 < session_.size(); i += 2) {
    if (std::find(secret_names_.begin(), secret_names_.end(), session_[i]) != secret_names_.end()) {
      continue;
    }
    kept.push_back(session_[i]);
    kept.push_back(session_[i + 1]);
  }
  return kept;
}

void InstallerProperties::SetSessionProperties(std::vector<std::string> lines) {
  std::lock_guard<std::mutex> lock(mutex_);
  session_ = std::move(lines);
}

void InstallerProperties::ClearSessionProperties() {
  std::lock_guard<std::mutex> lock(mutex_);
  session_.clear();
  secret_names_.clear();
}

// clang-format off
const char* const kReservedPropertyNames[207] = {
    "MSIDISABLEEEUI", "MSIUNINSTALLSUPERSEDEDCOMPONENTS", "MSIRESTARTMANAGERCONTROL",
    "MSIARPSETTINGSIDENTIFIER", "MsiLogging", "MsiLogFileLocation", "MsiSystemRebootPending",
    "MsiRunningElevated", "MsiRestartManagerSessionKey", "MSIDISABLERMRESTART", "MSIRMSHUTDOWN",
    "MSIUSEREALADMINDETECTION", "MinorUpdateTargetRTM", "MSIDISABLELUAPATCHING",
    "MSIENFORCEUPGRADECOMPONENTRULES", "MSIPATCHREMOVE", "MsiPatchRemovalList",
    "MsiUISourceResOnly", "MsiUIHideCancel", "MsiUIProgressOnly", "ACTION", "ALLUSERS",
    "ARPAUTHORIZEDCDFPREFIX", "ARPCOMMENTS", "ARPCONTACT", "ARPINSTALLLOCATION", "ARPNOMODIFY",
    "ARPNOREMOVE", "ARPNOREPAIR", "ARPPRODUCTICON", "ARPREADME", "ARPSIZE", "ARPINSTALLLOCATION",
    "ARPSYSTEMCOMPONENT", "ARPURLINFOABOUT", "ARPURLUPDATEINFO", "AVAILABLEFREEREG", "CCP_DRIVE",
    "DEFAULTUIFONT", "DISABLEADVTSHORTCUTS", "DISABLEMEDIA", "DISABLEROLLBACK", "EXECUTEACTION",
    "EXECUTEMODE", "FASTOEM", "INSTALLLEVEL", "LIMITUI", "LOGACTION", "MEDIAPACKAGEPATH",
    "MSINODISABLEMEDIA", "MSIENFORCEUPGRADECOMPONENTRULES", "PRIMARYFOLDER", "PRIVILEGED",
    "PROMPTROLLBACKCOST", "REBOOT", "REBOOTPROMPT", "ROOTDRIVE", "SEQUENCE", "SHORTFILENAMES",
    "TRANSFORMS", "TRANSFORMSATSOURCE", "TRANSFORMSSECURE", "DATE", "TIME", "ADDDEFAULT",
    "ADDLOCAL", "ADDSOURCE", "ADVERTISE", "COMPADDLOCAL", "COMPADDSOURCE", "FILEADDDEFAULT",
    "FILEADDLOCAL", "FILEADDSOURCE", "MSIPATCHREMOVE", "PATCH", "REINSTALL", "REINSTALLMODE",
    "REMOVE", "ALPHA", "BORDERSIDE", "BORDERTOP", "CAPTIONHEIGHT", "COLORBITS", "INTEL",
    "INTEL64", "MSIAMD64", "PHYSICALMEMORY", "SCREENX", "SCREENY", "TEXTHEIGHT", "VIRTUALMEMORY",
    "AFTERREBOOT", "COSTINGCOMPLETE", "INSTALLED", "MSICHECKCRCS", "MSIUIHIDECANCEL",
    "MSIUIPROGRESSONLY", "MSIUISOURCERESONLY", "NOCOMPANYNAME", "NOUSERNAME", "OUTOFDISKSPACE",
    "OUTOFNORBDISKSPACE", "PRESELECTED", "PRIMARYVOLUMEPATH", "PRIMARYVOLUMESPACEAVAILABLE",
    "PRIMARYVOLUMESPACEREMAINING", "PRIMARYVOLUMESPACEREQUIRED", "PRODUCTLANGUAGE",
    "REPLACEINUSEFILES", "RESUME", "ROLLBACKDISABLED", "UILEVEL", "UPDATESTARTED",
    "UPGRADINGPRODUCTCODE", "VERSIONMSI", "ADMINPROPERTIES", "COMPANYNAME", "LOGONUSER",
    "MSIHIDDENPROPERTIES", "PIDKEY", "PRODUCTID", "USERLANGUAGEID", "USERNAME", "USERSID",
    "ADMINTOOLSFOLDER", "APPDATAFOLDER", "COMMONAPPDATAFOLDER", "COMMONFILES64FOLDER",
    "COMMONFILESFOLDER", "DESKTOPFOLDER", "FAVORITESFOLDER", "FONTSFOLDER", "LOCALAPPDATAFOLDER",
    "MYPICTURESFOLDER", "PERSONALFOLDER", "PROGRAMFILES64FOLDER", "PROGRAMFILESFOLDER",
    "PROGRAMMENUFOLDER", "SENDTOFOLDER", "STARTMENUFOLDER", "STARTUPFOLDER", "SYSTEM16FOLDER",
    "SYSTEM64FOLDER", "SYSTEMFOLDER", "TEMPFOLDER", "TEMPLATEFOLDER", "WINDOWSFOLDER",
    "WINDOWSVOLUME", "PATCHNEWPACKAGECODE", "PATCHNEWSUMMARYCOMMENTS", "PATCHNEWSUMMARYSUBJECT",
    "ARPHELPLINK", "ARPHELPTELEPHONE", "DISKPROMPT", "ISADMINPACKAGE", "LEFTUNI", "MANUFACTURER",
    "MediaSourceDir", "MSIINSTANCEGUID", "MSINEWINSTANCE", "PIDTEMPLATE", "PRODUCTCODE",
    "PRODUCTNAME", "PRODUCTSTATE", "PRODUCTVERSION", "UPGRADECODE", "ADMINUSER", "COMPUTERNAME",
    "MSINTPRODUCTTYPE", "MSINTSUITEBACKOFFICE", "MSINTSUITEDATACENTER", "MSINTSUITEENTERPRISE",
    "MSINTSUITESMALLBUSINESS", "MSINTSUITESMALLBUSINESSRESTRICTED", "MSINTSUITEWEBSERVER",
    "MSINTSUITEPERSONAL", "MSINETASSEMBLYSUPPORT", "MSIWIN32ASSEMBLYSUPPORT", "OLEADVTSUPPORT",
    "REDIRECTEDDLLSUPORT", "REMOTEADMINTS", "SERVICEPACKLEVEL", "SERVICEPACKLEVELMINOR",
    "SHAREDWINDOWS", "SHELLADVTSUPPORT", "SYSTEMLANGUAGEID", "TERMINALSERVER", "TTCSUPPORT",
    "VERSION9X", "VERSIONDATABASE", "VERSIONNT", "VERSIONNT64", "WINDOWSBUILD",
    "ORIGINALDATABASE", "SourceDir", "SRCDIR", "CLEANUPUNINSTALLROLLBACK", "CLIENTPROCESSID",
    "CLIENTUILEVEL", "CURRENTDIRECTORY", "DATABASE", "SUPPORTDIR", "ORIGINALDATABASE",
    "PACKAGECODE", "PACKAGECODECHANGING", "SOURCEDIRPRODUCT", "VERSIONMSI",
};
// clang-format on

bool IsReservedPropertyName(std::string_view name) {
  for (const char* reserved : kReservedPropertyNames) {
    if (platform::SameText(reserved, name)) return true;
  }
  return false;
}

namespace {

// A record line must stay one line: line breaks travel as "$NEWLINE$" (a lone CR or LF too,
// since the reader of the file splits lines at either).
std::string OneLine(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      out.append("$NEWLINE$");
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

void AppendRecord(std::string* out, std::string_view name, std::string_view value) {
  out->append(OneLine(name));
  out->append("\r\n");
  out->append(OneLine(value));
  out->append("\r\n$ex\r\n");
}

// A drive letter with a colon, or a UNC server and share.
bool HasDrivePart(std::string_view path) {
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    return true;
  }
  if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
    size_t server_end = path.find('\\', 2);
    return server_end != std::string_view::npos && server_end > 2 && server_end + 1 < path.size() &&
           path[server_end + 1] != '\\';
  }
  return false;
}

bool NamesFileOrFolder(platform::FileSystem& files, const std::string& path) {
  uint32_t attributes = platform::attr::kInvalid;
  return files.GetAttributes(path, &attributes) == platform::Status::kOk &&
         attributes != platform::attr::kInvalid;
}

}  // namespace

std::string SessionPropertyFilePath(const SessionPropertyFileInput& input) {
  return input.temp_folder + input.product_code;
}

std::string BuildSessionPropertyFile(const SessionPropertyFileInput& input,
                                     const InstallerProperties& properties,
                                     const Variables& variables, platform::FileSystem& files) {
  std::string out;
  const bool patch = input.kind == SessionKind::kPatch;
  AppendRecord(&out, "SourceDir", patch ? input.source_folder : input.data_folder);
  if (patch) {
    AppendRecord(&out, "SRCDIREX", input.source_folder);
  } else {
    AppendRecord(&out, "MEDIAPACKAGEPATH", input.media_path);
  }

  const std::vector<std::string> session = properties.session_properties();
  for (size_t i = 0; i + 1 < session.size(); i += 2) {
    if (properties.IsSecret(session[i])) {
      AppendRecord(&out, session[i], session[i + 1]);
      continue;
    }
    std::string value = variables.ExpandPath(session[i + 1]);
    if (input.kind == SessionKind::kRemove && !NamesFileOrFolder(files, value) &&
        HasDrivePart(value)) {
      value = input.data_folder;
    }
    AppendRecord(&out, session[i], value);
  }

  std::vector<std::string> listing;
  variables.store().ListAll(&listing);
  for (size_t i = 0; i + 1 < listing.size(); i += 2) {
    if (IsReservedPropertyName(listing[i])) continue;
    AppendRecord(&out, listing[i], variables.ExpandPath(listing[i + 1]));
  }
  return out;
}

platform::Status WriteSessionPropertyFile(const SessionPropertyFileInput& input,
                                          const InstallerProperties& properties,
                                          const Variables& variables, platform::FileSystem& files) {
  return files.WriteFile(SessionPropertyFilePath(input),
                         BuildSessionPropertyFile(input, properties, variables, files));
}

platform::Status DeleteSessionPropertyFile(const SessionPropertyFileInput& input,
                                           platform::FileSystem& files) {
  return files.DeleteFile(SessionPropertyFilePath(input));
}

}  // namespace corvane::interp

// The web server's administration through Windows: the scripting interface of servers before
// version 7 by COM automation (the "IISNamespace" object and the objects it gives, all through
// IDispatch), and the administration library of version 7 and later loaded by its full path.
#pragma once

#include "platform/webserver.h"

namespace corvane::platform::win32 {

class Win32WebServer : public WebServer {
 public:
  std::unique_ptr<WebAdminObject> OpenWebService(const std::string& host, Status* status) override;
  std::unique_ptr<WebAdminLibrary> LoadAdminLibrary(const std::string& path,
                                                    Status* status) override;
};

}  // namespace corvane::platform::win32

// The twelve operations that the web server's administration library (ahadmin_wrapper.dll)
// exports, as the engine calls them. Shared by the library and the engine's client; plain C types
// only, the default (cdecl) calling convention, 8-bit texts in the system's code page, each
// zero-terminated.
//
// `host` names the server ("localhost", "." or "" for this computer; any other name is reached
// remotely). Sites are addressed by their numeric index; a folder is a path below the site's
// root written with "/" ("" for the root itself, "shop/images" for a folder below "shop").
//
// Every function returns 1 when it did its work and 0 when it did not (no server, no such site
// or folder, a value the server refuses, a buffer too small); outputs are written only on 1.
// Property names are those of the scripting interface (ServerComment, Path, AccessRead, ...);
// lists travel as one item a line, CR LF between the items.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// The size of the buffer the engine hands to GetIISSiteList (including the terminator).
constexpr uint32_t kAhwSiteListBufferSize = 102400;
// The size of the buffers for single values (properties, accounts).
constexpr uint32_t kAhwValueBufferSize = 4096;
// An integer setting the caller leaves as the server has it.
constexpr int32_t kAhwUnset = INT32_MIN;

// A site to open or create. `size` is sizeof(AhwSiteSettings): a library reads only the fields
// that the caller's structure has.
struct AhwSiteSettings {
  uint32_t size;
  const char* description;  // the site's name (ServerComment)
  int32_t index;            // 0 or less: the next free index
  const char* ip;           // bindings: ip ":" port ":" host header
  const char* host_header;
  const char* port;
  const char* secure_port;     // "" for none
  int32_t connection_timeout;  // seconds, or kAhwUnset
  int32_t keep_alive;          // booleans are 0 or 1
  int32_t logging;
  int32_t enable_asp;        // the "ASP" web service extension
  int32_t enable_exe_files;  // the "*.exe" extension file
  int32_t unlimited_connections;
  int32_t auto_start;       // start the site with the server
  int32_t max_connections;  // or kAhwUnset (ignored with unlimited_connections)
  int32_t server_size;      // 0 small, 1 medium, 2 large, or kAhwUnset
};

// A virtual folder to open or create, with its settings.
struct AhwFolderSettings {
  uint32_t size;
  int32_t site;
  const char* folder;  // below the root, "" for the root
  const char* physical_path;
  int32_t access_source;
  int32_t access_read;
  int32_t access_write;
  int32_t directory_browsing;
  int32_t logging;
  int32_t content_indexed;
  int32_t protection;  // 0 none (no application), 1 low, 2 pooled, 3 high
  const char* pool;    // application pool, "" for the server's default
  int32_t execute;     // 0 none, 1 scripts, 2 scripts and executables
  int32_t aspnet;      // 0 none, 1 v1.1, 2 v2.0, 3 v4.0
  int32_t default_document_enabled;
  const char* default_documents;  // comma text
  const char* footer;             // document footer file, "" for none
  int32_t auth_anonymous;
  int32_t auth_ntlm;
  int32_t auth_basic;
  const char* mime_map;  // comma text of extension=type entries, "" to leave it
};

// Site states (as the scripting interface's ServerState numbers them).
constexpr int32_t kAhwStateStarting = 1;
constexpr int32_t kAhwStateStarted = 2;
constexpr int32_t kAhwStateStopping = 3;
constexpr int32_t kAhwStateStopped = 4;
constexpr int32_t kAhwStatePausing = 5;
constexpr int32_t kAhwStatePaused = 6;
constexpr int32_t kAhwStateContinuing = 7;

// Actions of ControlIISSite.
constexpr int32_t kAhwStart = 0;
constexpr int32_t kAhwStop = 1;
constexpr int32_t kAhwPause = 2;
constexpr int32_t kAhwContinue = 3;

// The descriptions of all sites, one a line.
typedef int32_t (*AhwGetIISSiteList)(const char* host, char* buffer, uint32_t size);
// The index of the first site whose description equals `description` (letter case ignored).
typedef int32_t (*AhwGetIISSiteIndex)(const char* host, const char* description, int32_t* index);
// A property of the site (of_site 1) or of one of its folders (of_site 0).
typedef int32_t (*AhwGetIISProperty)(const char* host, int32_t of_site, int32_t site,
                                     const char* folder, const char* name, char* buffer,
                                     uint32_t size);
typedef int32_t (*AhwSetIISProperty)(const char* host, int32_t of_site, int32_t site,
                                     const char* folder, const char* name, const char* value);
// Opens the site of the settings' index, or creates it; gives the index it has.
typedef int32_t (*AhwCreateIISSite)(const char* host, const AhwSiteSettings* settings,
                                    int32_t* index);
typedef int32_t (*AhwCreateIISSiteFolder)(const char* host, const AhwFolderSettings* settings);
typedef int32_t (*AhwDeleteIISSite)(const char* host, int32_t site);
typedef int32_t (*AhwDeleteIISSiteFolder)(const char* host, int32_t site, const char* folder);
// Starts, stops, pauses or continues a site (a site that cannot pause keeps running).
typedef int32_t (*AhwControlIISSite)(const char* host, int32_t site, int32_t action);
// The account that anonymous visitors are given by the server's defaults.
typedef int32_t (*AhwGetIISAnonUser)(const char* host, char* buffer, uint32_t size);
// The account the site's application runs as (its application pool's identity).
typedef int32_t (*AhwGetIISUniqueAccountID)(const char* host, int32_t site, char* buffer,
                                            uint32_t size);
typedef int32_t (*AhwGetIISSiteState)(const char* host, int32_t site, int32_t* state);

}  // extern "C"

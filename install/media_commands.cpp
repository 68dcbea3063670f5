// Web Media Block and Extract 7Zip Archive: the media commands of the script.
#include <memory>

#include "commands/sixty_four.h"
#include "install/archive_access.h"
#include "install/media_jobs.h"
#include "install/web_media.h"
#include "interp/handlers.h"
#include "interp/session.h"
#include "interp/variables.h"
#include "ui/wait_loop.h"

namespace corvane::install {

namespace {

// The block and its addresses become current; nothing is downloaded yet.
void RunWebMediaBlock(interp::CommandContext& ctx) {
  const interp::Params& p = ctx.params();
  WebMedia::Of(ctx.session()).DefineBlock(p.Raw(1), p.Expanded(2));
}

void RunExtract7ZipArchive(interp::CommandContext& ctx) {
  interp::Session& s = ctx.session();
  commands::FsView64 fs_view(s);
  const interp::Params& p = ctx.params();
  DirectExtractJob::Fields f;
  f.archive = p.Path(1);
  f.destination = p.Path(2);
  const std::string result = p.ResultName(3);
  f.password = p.Expanded(4);
  f.answer = p.Bool(5);
  f.keep_folders = p.Bool(6);
  auto job = std::make_shared<DirectExtractJob>(s.platform, RunArchive::Of(s), f);
  ui::WaitLoop loop(ui::WaitOptions{"Cancel at Extract-7Zip Time"});
  loop.Run(ctx, job);
  if (result.empty()) return;
  // A job the watchdog gave up on never says "SUCCESS", whatever it stored.
  std::string text;
  if (loop.abandoned()) {
    text = "The extraction was stopped after the cancel";
  } else {
    text = job->succeeded() ? "SUCCESS" : job->error();
  }
  ctx.SetResult(result, text);
}

}  // namespace

CORVANE_COMMAND("Web Media Block", RunWebMediaBlock);
CORVANE_COMMAND("Extract 7Zip Archive", RunExtract7ZipArchive);

}  // namespace corvane::install

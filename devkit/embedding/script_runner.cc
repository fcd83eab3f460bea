#include "devkit/embedding/script_runner.h"

#include <atomic>
#include <memory>

#include "devkit/embedding/messenger.h"
#include "devkit/embedding/process_resources.h"
#include "devkit/embedding/trace_writer.h"
#include "devkit/embedding/view.h"
#include "devkit/embedding/view_timers.h"
#include "devkit/embedding/wide_text.h"
#include "devkit/notation/channel_notation.h"

namespace devkit {
namespace {

bool ReadWholeFile(const std::string& path, std::string* contents) {
  const OwnedFile file(_wfopen(WideFromUtf8(path).c_str(), L"rb"));
  if (file == nullptr) return false;
  char buffer[4096];
  size_t count = 0;
  while ((count = fread(buffer, 1, sizeof(buffer), file.get())) > 0) {
    contents->append(buffer, count);
  }
  return ferror(file.get()) == 0;
}

}  // namespace

ScriptRunner::ScriptRunner(View* view, Messenger* messenger, const DevkitOptions& options)
    : view_(view), messenger_(messenger), options_(options) {
  if (!options_.transcript_path.empty()) {
    transcript_.reset(_wfopen(WideFromUtf8(options_.transcript_path).c_str(), L"wb"));
  }
}

ScriptRunner::~ScriptRunner() { Stop(); }

void ScriptRunner::Start() {
  if (stopped_) return;
  if (!options_.transcript_path.empty() && transcript_ == nullptr) {
    view_->Log("script: ! cannot write the transcript " + Quote(options_.transcript_path));
  }
  if (!ReadWholeFile(options_.script_path, &script_text_)) {
    Write("! cannot read the script " + Quote(options_.script_path));
    Finish();
    return;
  }
  // The problems are reported before anything is sent; the steps are read
  // again, one by one, as they are sent.
  ScriptReader checker(script_text_);
  ScriptStep step;
  ScriptProblem problem;
  for (ScriptReader::Item item;
       (item = checker.Next(&step, &problem)) != ScriptReader::Item::kEnd;) {
    if (item == ScriptReader::Item::kProblem) {
      Write("! line " + std::to_string(problem.line) + ": " + problem.message);
    }
  }
  reader_ = ScriptReader(script_text_);
  SendNext();
}

void ScriptRunner::Stop() {
  if (stopped_) return;
  stopped_ = true;
  awaited_ = 0;
  if (view_->window() != nullptr) KillTimer(view_->window(), kScriptReplyTimer);
  transcript_.reset();
}

bool ScriptRunner::HandleTimer(WPARAM timer_id) {
  if (timer_id != kScriptReplyTimer) return false;
  KillTimer(view_->window(), kScriptReplyTimer);
  timer_set_ = false;
  if (stopped_ || awaited_ == 0) return true;
  awaited_ = 0;
  Write("< no reply");
  view_->PostTask([this]() { SendNext(); });
  return true;
}

void ScriptRunner::SendNext() {
  if (stopped_) return;
  // Problems were reported at the start; directives await no reply and run
  // at once, up to the next message. The step is local: the host may end the
  // engine (and this runner) while it handles the message.
  ScriptStep step;
  ScriptProblem problem;
  for (;;) {
    const ScriptReader::Item item = reader_.Next(&step, &problem);
    if (item == ScriptReader::Item::kEnd) {
      Finish();
      return;
    }
    if (item != ScriptReader::Item::kStep) continue;
    if (step.kind == ScriptStep::Kind::kMessage) break;
    Write(ProcessResourcesLine());
  }
  const uint64_t step_number = ++sent_;
  Write("> " + step.channel + " " + step.shown);
  awaited_ = step_number;
  View* view = view_;
  // Set by the reply, which most handlers send before Deliver returns; the
  // reply's timer is then not needed.
  const auto replied = std::make_shared<std::atomic<bool>>(false);
  // The reply may come on any thread; it is handled on the UI thread, and
  // only while this runner exists (tasks die with the view).
  auto sink = [view, step_number, replied](const uint8_t* data, size_t size) {
    replied->store(true);
    std::vector<uint8_t> reply(data, data + size);
    view->PostTask([view, step_number, reply]() {
      if (view->script() != nullptr) view->script()->OnReply(step_number, reply);
    });
  };
  const std::weak_ptr<void> alive = view_->AliveToken();
  const bool delivered =
      messenger_->Deliver(step.channel, step.message.data(), step.message.size(), sink);
  // The host's handler may have ended the engine, and this runner with it.
  if (alive.expired()) return;
  if (!delivered) {
    awaited_ = 0;
    Write("< no handler");
    view_->PostTask([this]() { SendNext(); });
    return;
  }
  if (awaited_ == step_number && !replied->load() && view_->window() != nullptr) {
    timer_set_ = SetTimer(view_->window(), kScriptReplyTimer,
                          static_cast<UINT>(options_.script_timeout_ms), nullptr) != 0;
  }
}

void ScriptRunner::OnReply(uint64_t step_number, const std::vector<uint8_t>& reply) {
  if (stopped_ || step_number != awaited_) return;
  awaited_ = 0;
  if (timer_set_ && view_->window() != nullptr) KillTimer(view_->window(), kScriptReplyTimer);
  timer_set_ = false;
  Write("< " + tovan::notation::PrintReply(reply.data(), reply.size()));
  // The next step goes out at once: this already runs from the message loop,
  // and a reply the host sends during delivery comes back as a new task, so
  // steps never nest.
  SendNext();
}

void ScriptRunner::Finish() {
  Write("end");
  const FaultKind fault = options_.crash_after_script;
  HWND window = view_->window();
  Stop();
  if (fault != FaultKind::kNone) {
    view_->PostTask([fault]() { FaultOnPurpose(fault); });
  } else if (window != nullptr) {
    PostMessageW(GetAncestor(window, GA_ROOT), WM_CLOSE, 0, 0);
  }
}

void ScriptRunner::Write(const std::string& line) {
  view_->Log("script: " + line);
  if (transcript_ == nullptr) return;
  fwrite(line.data(), 1, line.size(), transcript_.get());
  fputc('\n', transcript_.get());
  fflush(transcript_.get());
}

}  // namespace devkit

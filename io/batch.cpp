#include "io/batch.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "codec/vqn.h"
#include "pgraphic/image/geometry.h"

namespace io {

using namespace pgraphic;

namespace {

constexpr const char* kExtensions[] = {".bmp", ".jpg", ".pbm", ".pgm", ".png",
                                       ".ppm", ".tga", ".tif", ".vqn"};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// The path as it names a place on disk, so that two spellings of one file
// compare equal.
std::string SamePlace(const std::string& path) {
  std::error_code ec;
  std::filesystem::path place = std::filesystem::weakly_canonical(path, ec);
  if (ec) place = std::filesystem::absolute(path, ec).lexically_normal();
  return place.string();
}

void IgnoreWarnings(TPixelGraphic& image) {
  image.SetReadWarningAction(pgwaIgnore);
  image.SetSaveColorResWarningAction(pgwaIgnore);
}

}  // namespace

const char* BatchExtension(TBatchFormat format) {
  return kExtensions[static_cast<int>(format)];
}

bool BatchFormatFromName(const std::string& name, TBatchFormat& format) {
  std::string ext = Lower(name);
  if (ext.empty() || ext[0] != '.') ext = "." + ext;
  if (ext == ".tiff") ext = ".tif";
  if (ext == ".jpeg") ext = ".jpg";
  for (int i = 0; i < 9; ++i) {
    if (ext == kExtensions[i]) {
      format = static_cast<TBatchFormat>(i);
      return true;
    }
  }
  return false;
}

std::string BatchOutputName(const std::string& sourceFile, const std::string& targetFolder,
                            TBatchFormat format) {
  const std::filesystem::path name = std::filesystem::path(sourceFile).filename();
  std::string base = name.string();
  const std::string ext = name.extension().string();
  base.erase(base.size() - ext.size());
  std::string out = targetFolder;
  if (out.empty() || out.back() != '/') out += '/';
  return out + Lower(base) + BatchExtension(format);
}

namespace {

void MirrorStep(TPixelGraphic& image, const TBatchSettings& settings) {
  try {
    if (settings.Mirror == TBatchMirror::Vertical) image.MirrorVertical();
    if (settings.Mirror == TBatchMirror::Horizontal) image.MirrorHorizontal();
  } catch (const std::exception&) {
    // A mirror that fails leaves the image as it is.
  }
}

void TurnStep(std::unique_ptr<TPixelGraphic>& image, const TBatchSettings& settings) {
  if (settings.Rotate == TBatchRotate::None) return;
  try {
    const TTurn turn = settings.Rotate == TBatchRotate::Half   ? TTurn::Half
                       : settings.Rotate == TBatchRotate::Left ? TTurn::Left90
                                                               : TTurn::Right90;
    std::unique_ptr<TPixelGraphic> turned = TurnImage(*image, turn, true);
    IgnoreWarnings(*turned);
    image = std::move(turned);
  } catch (const std::exception&) {
    // The unturned image stays the result.
  }
}

void ColourStep(std::unique_ptr<TPixelGraphic>& image, const TBatchSettings& settings) {
  try {
    std::unique_ptr<TPixelGraphic> converted = ApplyColorCommand(*image, settings.Colors);
    if (converted) {
      IgnoreWarnings(*converted);
      image = std::move(converted);
    }
  } catch (const std::exception&) {
    // The unconverted image stays the result.
  }
}

}  // namespace

std::unique_ptr<TPixelGraphic> BatchTransform(std::unique_ptr<TPixelGraphic> image,
                                              const TBatchSettings& settings) {
  MirrorStep(*image, settings);
  TurnStep(image, settings);
  ColourStep(image, settings);
  return image;
}

std::string SameNameSkippedText(size_t count) {
  if (count == 0) return "";
  if (count == 1) return "1 file was skipped: another file of this run has the same output name.";
  return std::to_string(count) +
         " files were skipped: other files of this run have the same output names.";
}

std::string TBatchResult::FinalMessage() const {
  const std::string skipped = SameNameSkippedText(SkippedSameName.size());
  return skipped.empty() ? Message : Message + " " + skipped;
}

std::string TBatchResult::CountsText() const {
  std::string text =
      std::to_string(Converted) + " of " + std::to_string(Total) + " files converted";
  if (!Failed.empty()) text += ", " + std::to_string(Failed.size()) + " failed";
  return text + ".";
}

std::vector<std::string> TBatchResult::ProblemLines() const {
  std::vector<std::string> lines;
  for (const TBatchFailure& f : Failed) lines.push_back(f.File + ": " + f.Message);
  for (const std::string& file : SkippedSameName) {
    lines.push_back(file +
                    ": skipped, its output name is the output or the source of another file");
  }
  return lines;
}

std::string TBatchResult::ReportText(size_t shown) const {
  std::string text = CountsText();
  const std::vector<std::string> lines = ProblemLines();
  for (size_t i = 0; i < lines.size() && i < shown; ++i) text += "\n" + lines[i];
  if (lines.size() > shown) text += "\n... and " + std::to_string(lines.size() - shown) + " more.";
  return text;
}

namespace {

// What became of a file of the list: a file taken by a worker is Running; the
// last four are its outcome.
enum class TFileState : uint8_t { Unclaimed, Running, Converted, Failed, Skipped, Stopped };

bool Finished(TFileState state) {
  return state >= TFileState::Converted;
}

// One run of ConvertFiles. Workers take the files in list order, each file whole
// (read, turned, converted, written) on one worker. Everything the caller sees
// happens on the caller's thread and as one worker would show it: the meter
// and Stop at every check point (a worker waits there for the answer, so a
// caller that pauses there pauses the whole run), the readers' questions in
// list order, FileDone and the result's lists in list order. Which file is
// skipped for its output is decided as one worker decides it, in list order: a
// file waits until every earlier file with the same output, or whose source its
// output would replace, is done.
class TBatchRun {
 public:
  TBatchRun(const std::vector<std::string>& files, const std::string& folder,
            const TBatchSettings& settings, const TBatchHooks& hooks);
  TBatchResult Run();

 private:
  // What a worker asks the caller's thread, answered in place: a check point
  // (the meter moves by Steps; is a stop asked for?) or a reader's question.
  struct TRequest {
    size_t File = 0;
    int Steps = 0;
    bool Question = false;
    std::string Caption, Text;
    bool WithCancel = false;
    bool Answered = false;
    bool Answer = false;
    std::exception_ptr Error;
  };

  // Workers.
  void Work();
  void Convert(size_t i);
  bool Call(TRequest& request);
  bool Check(size_t i, int steps);
  bool AwaitEarlier(size_t i);
  void SetState(size_t i, TFileState state, std::string message = "");
  // The caller's thread; the lock is held on entry and exit.
  TRequest* NextRequest();
  void Answer(TRequest& request, std::unique_lock<std::mutex>& lock);
  void TellDone(std::unique_lock<std::mutex>& lock, bool all);

  const std::vector<std::string>& files_;
  const TBatchSettings& settings_;
  const TBatchHooks& hooks_;
  // The plan, made before any worker starts.
  std::vector<std::string> output_;
  std::vector<std::string> place_;            // the output as a place on disk
  std::vector<char> sourceLater_;             // the output is a later file's source
  std::vector<std::vector<size_t>> earlier_;  // the files to wait for

  std::mutex mutex_;
  std::condition_variable toCaller_;   // a request, a file done, a worker gone
  std::condition_variable toWorkers_;  // an answer, a file done, a stop
  std::deque<TRequest*> requests_;
  std::vector<TFileState> state_;
  std::vector<std::string> message_;  // what FileDone tells
  std::set<std::string> written_;     // the places outputs were written to
  size_t next_ = 0;                   // the next file to take
  size_t told_ = 0;                   // FileDone was called for the files before
  int workers_ = 0;
  bool stop_ = false;
  bool interrupted_ = false;
  std::exception_ptr escaped_;
  double meter_ = 0;
};

TBatchRun::TBatchRun(const std::vector<std::string>& files, const std::string& folder,
                     const TBatchSettings& settings, const TBatchHooks& hooks)
    : files_(files),
      settings_(settings),
      hooks_(hooks),
      output_(files.size()),
      place_(files.size()),
      sourceLater_(files.size()),
      earlier_(files.size()),
      state_(files.size(), TFileState::Unclaimed),
      message_(files.size()) {
  // A run overwrites neither an output it wrote itself nor a source it has yet
  // to read (the target may be the source folder). Outputs are told apart by
  // the place on disk, so that a link in the target folder cannot lead a later
  // output onto an earlier one.
  std::vector<std::string> source(files.size());
  std::map<std::string, size_t> lastSource, lastOutput;
  std::map<std::string, std::vector<size_t>> sourcesSoFar;
  for (size_t i = 0; i < files.size(); ++i) {
    source[i] = SamePlace(files[i]);
    lastSource[source[i]] = i;
  }
  for (size_t i = 0; i < files.size(); ++i) {
    output_[i] = BatchOutputName(files[i], folder, settings.Format);
    place_[i] = SamePlace(output_[i]);
    const auto later = lastSource.find(place_[i]);
    sourceLater_[i] = later != lastSource.end() && later->second > i;
    if (const auto out = lastOutput.find(place_[i]); out != lastOutput.end())
      earlier_[i].push_back(out->second);
    if (const auto read = sourcesSoFar.find(place_[i]); read != sourcesSoFar.end())
      earlier_[i].insert(earlier_[i].end(), read->second.begin(), read->second.end());
    lastOutput[place_[i]] = i;
    sourcesSoFar[source[i]].push_back(i);
  }
}

TBatchResult TBatchRun::Run() {
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t jobs =
      std::min(settings_.Jobs > 0 ? static_cast<size_t>(settings_.Jobs) : cores, files_.size());
  if (hooks_.Progress) hooks_.Progress(0);
  std::vector<std::thread> threads;
  workers_ = static_cast<int>(jobs);
  for (size_t j = 0; j < jobs; ++j) {
    try {
      threads.emplace_back([this, jobs] {
        // With a picture per worker the cores are taken; the codec's own
        // threads would only compete with the other workers.
        const codec::TVQNThreadLimit oneThread(jobs > 1 ? 1 : 16);
        Work();
      });
    } catch (const std::system_error&) {
      // Fewer workers than asked for still convert everything; none at all cannot.
      std::lock_guard hold(mutex_);
      workers_ -= static_cast<int>(jobs - j);
      if (threads.empty()) throw;
      break;
    }
  }
  {
    std::unique_lock lock(mutex_);
    for (;;) {
      TellDone(lock, false);
      if (TRequest* request = NextRequest()) {
        Answer(*request, lock);
      } else if (workers_ == 0) {
        break;
      } else {
        toCaller_.wait(lock);
      }
    }
    TellDone(lock, true);
  }
  for (std::thread& t : threads) t.join();
  if (escaped_) std::rethrow_exception(escaped_);

  TBatchResult result;
  result.Total = files_.size();
  for (size_t i = 0; i < files_.size(); ++i) {
    TBatchFile file{.Source = files_[i], .Output = output_[i], .Reason = ""};
    if (state_[i] == TFileState::Converted) {
      ++result.Converted;
      file.Status = TBatchStatus::Converted;
    } else if (state_[i] == TFileState::Failed) {
      result.Failed.push_back({files_[i], message_[i]});
      file.Status = TBatchStatus::Failed;
      file.Reason = message_[i];
    } else if (state_[i] == TFileState::Skipped) {
      result.SkippedSameName.push_back(files_[i]);
      file.Status = TBatchStatus::Skipped;
      file.Reason = message_[i];
    }
    result.Files.push_back(std::move(file));
  }
  result.Interrupted = interrupted_;
  result.Message =
      result.Interrupted ? "Conversion was interrupted by user." : "Conversion is complete!";
  return result;
}

void TBatchRun::Work() {
  // The readers' questions go to the caller's thread, with the file they are about.
  size_t current = 0;
  const TThreadQuestionHook questions(
      [this, &current](const std::string& caption, const std::string& text, bool withCancel) {
        TRequest request;
        request.File = current;
        request.Question = true;
        request.Caption = caption;
        request.Text = text;
        request.WithCancel = withCancel;
        return Call(request);
      });
  try {
    for (;;) {
      {
        std::lock_guard hold(mutex_);
        if (stop_ || next_ == files_.size()) break;
        current = next_++;
        state_[current] = TFileState::Running;
      }
      Convert(current);
    }
  } catch (...) {
    std::lock_guard hold(mutex_);
    if (!escaped_) escaped_ = std::current_exception();
    stop_ = true;
  }
  std::lock_guard hold(mutex_);
  --workers_;
  toCaller_.notify_all();
  toWorkers_.notify_all();
}

void TBatchRun::Convert(size_t i) {
  if (Check(i, 1) || !AwaitEarlier(i)) return SetState(i, TFileState::Stopped);
  bool skip = false;
  {
    std::lock_guard hold(mutex_);
    skip = sourceLater_[i] || written_.count(place_[i]) != 0;
  }
  // A file left out still moves the meter by its whole share, so that a run
  // that goes to the end always ends at 100.
  if (skip) {
    SetState(i, TFileState::Skipped,
             "skipped: " + output_[i] + " is the output or the source of another file");
    Check(i, 2);
    return;
  }
  auto work = std::make_unique<TPixelGraphic>();
  IgnoreWarnings(*work);
  work->SetReadWarningAction(settings_.ReadWarningAction);
  try {
    std::error_code ec;
    if (std::filesystem::is_directory(files_[i], ec)) throw EPixelGraphic("Is a folder");
    OpenImage(files_[i], *work, 0, {.AutoOrient = settings_.AutoOrient});
  } catch (const std::exception& e) {
    SetState(i, TFileState::Failed, e.what());
    Check(i, 2);
    return;
  }
  // Mirror, turn and colour resolution, with the check points between them.
  MirrorStep(*work, settings_);
  if (Check(i, 0)) return SetState(i, TFileState::Stopped);
  TurnStep(work, settings_);
  if (Check(i, 1)) return SetState(i, TFileState::Stopped);
  ColourStep(work, settings_);
  if (Check(i, 0)) return SetState(i, TFileState::Stopped);
  // Writing: whole or not at all (the writers replace the file atomically).
  try {
    SaveImage(*work, output_[i], {.VQNQuality = settings_.VQNQuality});
    {
      std::lock_guard hold(mutex_);
      written_.insert(place_[i]);
    }
    SetState(i, TFileState::Converted);
  } catch (const std::exception& e) {
    SetState(i, TFileState::Failed, e.what());
  }
  work.reset();
  Check(i, 1);
}

bool TBatchRun::Call(TRequest& request) {
  std::unique_lock lock(mutex_);
  requests_.push_back(&request);
  toCaller_.notify_all();
  toWorkers_.wait(lock, [&] { return request.Answered; });
  lock.unlock();
  if (request.Error) std::rethrow_exception(request.Error);
  return request.Answer;
}

bool TBatchRun::Check(size_t i, int steps) {
  TRequest request;
  request.File = i;
  request.Steps = steps;
  return Call(request);
}

bool TBatchRun::AwaitEarlier(size_t i) {
  std::unique_lock lock(mutex_);
  toWorkers_.wait(lock, [&] {
    return stop_ || std::all_of(earlier_[i].begin(), earlier_[i].end(),
                                [&](size_t k) { return Finished(state_[k]); });
  });
  return !stop_;
}

void TBatchRun::SetState(size_t i, TFileState state, std::string message) {
  std::lock_guard hold(mutex_);
  state_[i] = state;
  message_[i] = std::move(message);
  toCaller_.notify_all();
  toWorkers_.notify_all();
}

TBatchRun::TRequest* TBatchRun::NextRequest() {
  // A question waits until every earlier file is done and told, so that it
  // comes where one worker would ask it; after a stop nobody is asked any more.
  for (auto it = requests_.begin(); it != requests_.end(); ++it) {
    if (!(*it)->Question || stop_ || (*it)->File <= told_) {
      TRequest* request = *it;
      requests_.erase(it);
      return request;
    }
  }
  return nullptr;
}

void TBatchRun::Answer(TRequest& request, std::unique_lock<std::mutex>& lock) {
  const bool stopped = stop_;
  lock.unlock();
  bool answer = true;
  bool stop = false;
  std::exception_ptr error;
  try {
    if (request.Question && !stopped) {
      answer = AskUser(request.Caption, request.Text, request.WithCancel);
    } else if (!request.Question && !stopped) {
      meter_ = std::min(meter_ + request.Steps * 100.0 / (3.0 * static_cast<double>(files_.size())),
                        100.0);
      stop = hooks_.Progress && hooks_.Progress(static_cast<int>(std::nearbyint(meter_)));
    }
  } catch (...) {
    error = std::current_exception();
  }
  lock.lock();
  if (stop) stop_ = interrupted_ = true;
  if (error && !request.Question) {
    // The caller's own hook failed: the run ends and the caller gets the error.
    if (!escaped_) escaped_ = error;
    stop_ = true;
    error = nullptr;
  }
  request.Answer = request.Question ? answer : stop_;
  request.Error = error;
  request.Answered = true;
  toWorkers_.notify_all();
}

void TBatchRun::TellDone(std::unique_lock<std::mutex>& lock, bool all) {
  while (told_ < state_.size()) {
    const size_t i = told_;
    if (!Finished(state_[i]) && !all) break;
    ++told_;
    if (!Finished(state_[i]) || state_[i] == TFileState::Stopped || !hooks_.FileDone) continue;
    const std::string message = message_[i];
    lock.unlock();
    hooks_.FileDone(files_[i], message);
    lock.lock();
  }
}

}  // namespace

TBatchResult ConvertFiles(const std::vector<std::string>& files, const TBatchSettings& chosen,
                          const TBatchHooks& hooks) {
  if (files.empty()) throw EBatchConversion("No files are selected!");
  const std::string folder = Trim(chosen.TargetFolder);
  if (folder.empty()) throw EBatchConversion("Please, fill destination path.");
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) {
    const bool create = hooks.ConfirmCreate &&
                        hooks.ConfirmCreate("Directory " + folder + " does not exist. Create?");
    if (!create) throw EBatchConversion("");
    // One level only: the parent must exist. Another run may make it meanwhile.
    std::filesystem::create_directory(folder, ec);
    if (ec || !std::filesystem::is_directory(folder, ec)) {
      throw EBatchConversion("Can not create directory " + folder);
    }
  }
  TBatchSettings settings = chosen;
  if (hooks.BeforeRun && !hooks.BeforeRun(settings)) {
    TBatchResult result;
    result.Total = files.size();
    result.Interrupted = true;
    result.Message = "Conversion was interrupted by user.";
    return result;
  }
  return TBatchRun(files, folder, settings, hooks).Run();
}

}  // namespace io

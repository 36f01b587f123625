#include "tests/support/scripted_serial_port.h"

#include <cctype>
#include <algorithm>
#include <cctype>

#include "devices/ascii_answer.h"

namespace lark::test {

void ScriptedLine::feed(const std::string& bytes) {
  std::lock_guard<std::mutex> g(mu_);
  incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
}

void ScriptedLine::setResponder(Responder r) {
  std::lock_guard<std::mutex> g(mu_);
  responder_ = std::move(r);
}

std::vector<std::string> ScriptedLine::frames() const {
  std::lock_guard<std::mutex> g(mu_);
  return frames_;
}

size_t ScriptedLine::frameCount() const {
  std::lock_guard<std::mutex> g(mu_);
  return frames_.size();
}

void ScriptedLine::clearFrames() {
  std::lock_guard<std::mutex> g(mu_);
  frames_.clear();
}

size_t ScriptedLine::pending() const {
  std::lock_guard<std::mutex> g(mu_);
  return incoming_.size();
}

void ScriptedLine::setFailed(bool failed) {
  std::lock_guard<std::mutex> g(mu_);
  failed_ = failed;
}

bool ScriptedLine::failed() const {
  std::lock_guard<std::mutex> g(mu_);
  return failed_;
}

void ScriptedLine::write(const std::string& frame) {
  Responder r;
  {
    std::lock_guard<std::mutex> g(mu_);
    frames_.push_back(frame);
    r = responder_;
  }
  if (r) r(frame);
}

size_t ScriptedLine::read(uint8_t* out, size_t wanted) {
  std::lock_guard<std::mutex> g(mu_);
  size_t n = std::min(wanted, incoming_.size());
  for (size_t i = 0; i < n; ++i) {
    out[i] = incoming_.front();
    incoming_.pop_front();
  }
  return n;
}

void ScriptedLine::purge() {
  std::lock_guard<std::mutex> g(mu_);
  incoming_.clear();
}

ssize_t ScriptedSerialPort::writeSome(CBytes data) {
  if (line_->failed()) return -1;
  line_->write(std::string(data.begin(), data.end()));
  return static_cast<ssize_t>(data.size());
}

size_t ScriptedSerialPort::readTimed(Bytes out, size_t wanted) {
  if (line_->failed()) return 0;
  return line_->read(out.data(), wanted);
}

std::unique_ptr<SerialPort> ScriptedPortOpener::open(int com, const SerialLineParams& params) {
  std::lock_guard<std::mutex> g(mu_);
  ++opens_[com];
  params_[com] = params;
  if (failing_.count(com) != 0) return nullptr;
  auto& l = lines_[com];
  if (!l) l = std::make_shared<ScriptedLine>();
  l->setFailed(false);
  return std::make_unique<ScriptedSerialPort>(l, clock_);
}

std::shared_ptr<ScriptedLine> ScriptedPortOpener::line(int com) {
  std::lock_guard<std::mutex> g(mu_);
  auto& l = lines_[com];
  if (!l) l = std::make_shared<ScriptedLine>();
  return l;
}

void ScriptedPortOpener::setOpenFails(int com, bool fails) {
  std::lock_guard<std::mutex> g(mu_);
  if (fails) {
    failing_.insert(com);
  } else {
    failing_.erase(com);
  }
}

int ScriptedPortOpener::openCount(int com) const {
  std::lock_guard<std::mutex> g(mu_);
  auto it = opens_.find(com);
  return it == opens_.end() ? 0 : it->second;
}

SerialLineParams ScriptedPortOpener::lastParams(int com) const {
  std::lock_guard<std::mutex> g(mu_);
  auto it = params_.find(com);
  return it == params_.end() ? SerialLineParams{} : it->second;
}

ScriptedAsciiUps::ScriptedAsciiUps(std::shared_ptr<ScriptedLine> line,
                                   std::vector<AsciiUpsProfile> units, bool sums)
    : checksum(sums), line_(std::move(line)) {
  for (auto& u : units) units_[u.address] = u;
  line_->setResponder([this](const std::string& f) { onFrame(f); });
}

AsciiUpsProfile& ScriptedAsciiUps::unit(int address) { return units_[address]; }

void ScriptedAsciiUps::onFrame(const std::string& frame) {
  if (silent || frame.size() < kAsciiDataHeaderSize) return;
  if (!std::isdigit(static_cast<unsigned char>(frame[1])) ||
      !std::isdigit(static_cast<unsigned char>(frame[2])))
    return;
  int addr = (frame[1] - '0') * 10 + (frame[2] - '0');
  auto it = units_.find(addr);
  if (it == units_.end()) return;
  if (!nextReply.empty()) {
    line_->feed(nextReply);
    nextReply.clear();
    return;
  }
  std::string body;
  if (frame[3] == 'P') {
    size_t len = static_cast<size_t>(std::stoi(frame.substr(4, 3)));
    std::string payload = frame.substr(7, len);
    auto data = AsciiSampleAnswer(it->second, payload.substr(0, 3),
                                  payload.size() > 3 ? payload.substr(3) : std::string());
    if (data) {
      char head[8];
      std::snprintf(head, sizeof head, "D%03zu", data->size());
      body = head + *data;
    } else {
      body = "R";
    }
  } else {
    body = "A";
  }
  // The reply carries the two address digits the request named.
  std::string reply = std::string{'~', frame[1], frame[2]} + body;
  if (checksum) reply += Sum8Text(asBytes(reply));
  line_->feed(reply);
}

}  // namespace lark::test

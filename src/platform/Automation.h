#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine {

/// One argument of a late-bound call, with the type it crosses the automation
/// boundary as.
struct AutomationArg {
  enum class Type {
    Int16,      // a 16-bit signed integer
    Boolean,    // an automation boolean
    Text,       // a string
    TextArray,  // a one-dimensional array of variants indexed from 0, each a string
  };

  Type type = Type::Text;
  bool byRef = false;  // passed by reference rather than by value
  std::int16_t int16 = 0;
  bool boolean = false;
  std::string text;               // Type::Text
  std::vector<std::string> array;  // Type::TextArray

  static AutomationArg Int16(std::int16_t v, bool byRef = false);
  static AutomationArg Boolean(bool v, bool byRef = false);
  static AutomationArg Text(std::string v, bool byRef = false);
  static AutomationArg TextArray(std::vector<std::string> v, bool byRef = false);
};

inline AutomationArg AutomationArg::Int16(std::int16_t v, bool byRef) {
  AutomationArg a;
  a.type = Type::Int16;
  a.int16 = v;
  a.byRef = byRef;
  return a;
}
inline AutomationArg AutomationArg::Boolean(bool v, bool byRef) {
  AutomationArg a;
  a.type = Type::Boolean;
  a.boolean = v;
  a.byRef = byRef;
  return a;
}
inline AutomationArg AutomationArg::Text(std::string v, bool byRef) {
  AutomationArg a;
  a.type = Type::Text;
  a.text = std::move(v);
  a.byRef = byRef;
  return a;
}
inline AutomationArg AutomationArg::TextArray(std::vector<std::string> v, bool byRef) {
  AutomationArg a;
  a.type = Type::TextArray;
  a.array = std::move(v);
  a.byRef = byRef;
  return a;
}

/// An automation object reached by member names at run time (late binding).
/// Released when destroyed. Every failure throws EngineError whose description
/// is the application's own text when it gives one; never an empty one.
class AutomationObject {
 public:
  virtual ~AutomationObject() = default;

  /// Assigns |value| to the property |name|.
  virtual void SetProperty(const std::string& name, const AutomationArg& value) = 0;

  /// Calls the method |name| with |args|, first argument first. When |result|
  /// is not null, the call's result is converted to text and stored there; a
  /// result that can't be taken as text is a failure of the call.
  virtual void CallMethod(const std::string& name, const std::vector<AutomationArg>& args,
                          std::string* result) = 0;
};

/// The component automation runtime of this thread.
class Automation {
 public:
  virtual ~Automation() = default;

  /// Creates an object of the class registered under |progId| on the local
  /// machine. Throws EngineError when nothing is registered under it or the
  /// server can't be started.
  virtual std::unique_ptr<AutomationObject> CreateObject(const std::string& progId) = 0;
};

}  // namespace engine

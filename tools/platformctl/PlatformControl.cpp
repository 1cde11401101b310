#include "tools/platformctl/PlatformControl.h"

#include <functional>
#include <map>
#include <optional>

#include "platform/base/Text.h"
#include "platform/user/Shell.h"
#include "platform/user/TreeView.h"
#include "platform/user/UserRegistry.h"
#include "platform/user/Window.h"
#include "tools/platformctl/PlayerCommands.h"
#include "tools/platformctl/SessionCommands.h"

namespace platformctl {
namespace {

using platform::detail::ShellKind;
using platform::detail::ShellRecord;
using platform::detail::UserRegistry;

constexpr char kUsage[] =
    "usage: platformctl <command> [arguments]\n"
    "commands on the windows and shell pieces of the platform root (PLATFORM_ROOT):\n"
    "  windows                          list every window\n"
    "  post <window> <message> [w] [l]  post a message to a window\n"
    "  close <window>                   post WM_CLOSE to a window\n"
    "  icons                            list the notification-area icons with their tips\n"
    "  click <icon> [left|right]        click an icon (its window gets the callback message)\n"
    "  menus                            list the menus that are shown, with their items\n"
    "  pick <menu> <command|none>       pick a menu item by its command, or close the menu\n"
    "  boxes                            list the message boxes that are shown\n"
    "  answer <box> <ok|cancel|yes|no>  press a box's button\n"
    "  opened                           list the addresses the shell was asked to open\n"
    "  press <dialog> <button id>       click a dialog's button (see: windows)\n"
    "  tree <process> <class> <id>      list the items of the tree view with the id under a\n"
    "                                   window of the class, the selected one marked\n"
    "  tree-click <process> <class> <id> <text>...\n"
    "                                   click the tree view's item at the path of texts\n"
    "  --help                           this text\n";

struct Context {
  const std::vector<std::string>& arguments;
  std::ostream& out;
  std::ostream& errors;
};

std::string Quoted(const std::u16string& text) { return '"' + platform::ToUtf8(text) + '"'; }

// A number argument (decimal or 0x-hexadecimal); nothing when it is missing or not a number.
std::optional<std::uint64_t> Number(const Context& context, std::size_t index) {
  if (index >= context.arguments.size()) {
    return std::nullopt;
  }
  const std::string& text = context.arguments[index];
  std::size_t used = 0;
  try {
    const std::uint64_t value = std::stoull(text, &used, 0);
    return used == text.size() ? std::optional(value) : std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

int Usage(const Context& context, const std::string& problem) {
  context.errors << "platformctl: " << problem << "\n" << kUsage;
  return 2;
}

int Failure(const Context& context, const std::string& problem) {
  context.errors << "platformctl: " << problem << "\n";
  return 1;
}

std::vector<ShellRecord> RecordsOf(ShellKind kind) {
  std::vector<ShellRecord> records = UserRegistry::Instance().ShellRecords();
  std::erase_if(records, [kind](const ShellRecord& record) {
    return record.kind != kind || record.answer != 0;
  });
  return records;
}

int ListWindows(const Context& context) {
  for (const platform::detail::WindowRecord& window : UserRegistry::Instance().Windows()) {
    context.out << window.handle << " process " << window.process.pid << " thread "
                << window.thread << " class " << Quoted(window.className) << " title "
                << Quoted(window.title) << " parent " << window.parent << " id "
                << window.controlId << "\n";
  }
  return 0;
}

int Post(const Context& context, UINT fixedMessage) {
  const std::optional<std::uint64_t> window = Number(context, 1);
  const std::optional<std::uint64_t> message =
      fixedMessage != 0 ? std::optional<std::uint64_t>(fixedMessage) : Number(context, 2);
  const std::size_t words = fixedMessage != 0 ? 2 : 3;
  const std::uint64_t wParam = Number(context, words).value_or(0);
  const std::uint64_t lParam = Number(context, words + 1).value_or(0);
  if (!window || !message) {
    return Usage(context, "post needs a window and a message (numbers)");
  }
  if (!platform::PostMessage(static_cast<HWND>(*window), static_cast<UINT>(*message), wParam,
                             static_cast<LPARAM>(lParam))) {
    return Failure(context, "no window " + std::to_string(*window));
  }
  return 0;
}

int ListIcons(const Context& context) {
  for (const ShellRecord& icon : RecordsOf(ShellKind::Icon)) {
    context.out << icon.handle << " window " << icon.owner << " id " << icon.id << " icon "
                << icon.icon << " tip " << Quoted(icon.text) << "\n";
  }
  return 0;
}

int Click(const Context& context) {
  const std::optional<std::uint64_t> icon = Number(context, 1);
  const std::string button = context.arguments.size() > 2 ? context.arguments[2] : "left";
  if (!icon || (button != "left" && button != "right")) {
    return Usage(context, "click needs an icon number and left or right");
  }
  if (!platform::ClickIcon(static_cast<std::uint32_t>(*icon),
                           button == "left" ? WM_LBUTTONDOWN : WM_RBUTTONDOWN)) {
    return Failure(context, "no icon " + std::to_string(*icon) + " (see: platformctl icons)");
  }
  return 0;
}

void ListChoices(const Context& context, ShellKind kind) {
  for (const ShellRecord& record : RecordsOf(kind)) {
    context.out << record.handle << " window " << record.owner;
    if (kind == ShellKind::MessageBox) {
      context.out << " caption " << Quoted(record.caption) << " text " << Quoted(record.text)
                  << " buttons";
    } else {
      context.out << " items";
    }
    for (const platform::detail::ShellItem& item : record.items) {
      context.out << ' ' << item.command << ':' << Quoted(item.text);
    }
    context.out << "\n";
  }
}

int Pick(const Context& context) {
  const std::optional<std::uint64_t> menu = Number(context, 1);
  const bool none = context.arguments.size() > 2 && context.arguments[2] == "none";
  const std::optional<std::uint64_t> command = none ? std::optional<std::uint64_t>(0)
                                                    : Number(context, 2);
  if (!menu || !command) {
    return Usage(context, "pick needs a menu number and a command number or none");
  }
  if (!platform::AnswerShellRecord(static_cast<std::uint32_t>(*menu),
                                   none ? -1 : static_cast<std::int32_t>(*command))) {
    return Failure(context, "menu " + std::to_string(*menu) + " is not shown or has no command " +
                                context.arguments[2] + " (see: platformctl menus)");
  }
  return 0;
}

int Answer(const Context& context) {
  static const std::map<std::string, int> kButtons{
      {"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES}, {"no", IDNO}};
  const std::optional<std::uint64_t> box = Number(context, 1);
  const auto button =
      context.arguments.size() > 2 ? kButtons.find(context.arguments[2]) : kButtons.end();
  if (!box || button == kButtons.end()) {
    return Usage(context, "answer needs a box number and ok, cancel, yes or no");
  }
  if (!platform::AnswerShellRecord(static_cast<std::uint32_t>(*box), button->second)) {
    return Failure(context, "box " + std::to_string(*box) + " is not shown or has no " +
                                button->first + " button (see: platformctl boxes)");
  }
  return 0;
}

int ListOpened(const Context& context) {
  for (const ShellRecord& opened : RecordsOf(ShellKind::Open)) {
    context.out << opened.handle << " verb " << Quoted(opened.caption) << " address "
                << Quoted(opened.text) << "\n";
  }
  return 0;
}

int Press(const Context& context) {
  const std::optional<std::uint64_t> dialog = Number(context, 1);
  const std::optional<std::uint64_t> id = Number(context, 2);
  if (!dialog || !id) {
    return Usage(context, "press needs a dialog number and a button id");
  }
  struct Search {
    std::int32_t id;
    HWND button = 0;
  } search{static_cast<std::int32_t>(*id)};
  platform::EnumChildWindows(
      static_cast<HWND>(*dialog),
      [](HWND item, LPARAM into) {
        auto& wanted = *reinterpret_cast<Search*>(into);
        if (platform::GetDlgCtrlID(item) == wanted.id && platform::GetClassName(item) == u"Button") {
          wanted.button = item;
          return false;
        }
        return true;
      },
      reinterpret_cast<LPARAM>(&search));
  if (search.button == 0 || !platform::PostMessage(search.button, WM_LBUTTONDOWN, 0, 0)) {
    return Failure(context, "dialog " + context.arguments[1] + " has no button " +
                                context.arguments[2] + " (see: platformctl windows)");
  }
  return 0;
}

// How long the thread that owns a tree view may take to answer.
constexpr platform::Timeout kTreeAnswerTime{5000};

// The tree view that arguments 1 to 3 name (process, window class, control id); 0 for none.
std::optional<HWND> TreeViewOf(const Context& context) {
  const std::optional<std::uint64_t> process = Number(context, 1);
  const std::optional<std::uint64_t> id = Number(context, 3);
  if (!process || !id) {
    return std::nullopt;
  }
  return platform::FindTreeView(static_cast<std::uint32_t>(*process),
                                platform::FromUtf8(context.arguments[2]),
                                static_cast<std::int32_t>(*id));
}

int ListTree(const Context& context) {
  const std::optional<HWND> tree = TreeViewOf(context);
  if (!tree) {
    return Usage(context, "tree needs a process number, a window class and a control id");
  }
  const std::optional<std::vector<platform::TreeItemLine>> lines =
      *tree == 0 ? std::nullopt : platform::ListTreeItems(*tree, kTreeAnswerTime);
  if (!lines) {
    return Failure(context, "no tree view answered (see: platformctl windows)");
  }
  for (const platform::TreeItemLine& line : *lines) {
    context.out << std::string(static_cast<std::size_t>(line.depth) * 2, ' ') << Quoted(line.text)
                << (line.selected ? " selected" : "") << "\n";
  }
  return 0;
}

int ClickTree(const Context& context) {
  const std::optional<HWND> tree = TreeViewOf(context);
  if (!tree || context.arguments.size() < 5) {
    return Usage(context, "tree-click needs a process number, a window class, a control id and "
                          "the texts of the item's path");
  }
  std::vector<std::u16string> path;
  for (std::size_t index = 4; index < context.arguments.size(); ++index) {
    path.push_back(platform::FromUtf8(context.arguments[index]));
  }
  if (*tree == 0 || !platform::ClickTreeItem(*tree, path, kTreeAnswerTime)) {
    return Failure(context, "no tree view answered or it has no item at that path (see: "
                            "platformctl tree)");
  }
  return 0;
}

}  // namespace

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& errors) {
  const Context context{arguments, out, errors};
  using Command = std::function<int(const Context&)>;
  static const std::map<std::string, Command> kCommands{
      {"windows", ListWindows},
      {"post", [](const Context& c) { return Post(c, 0); }},
      {"close", [](const Context& c) { return Post(c, WM_CLOSE); }},
      {"icons", ListIcons},
      {"click", Click},
      {"menus", [](const Context& c) { return ListChoices(c, ShellKind::Menu), 0; }},
      {"pick", Pick},
      {"boxes", [](const Context& c) { return ListChoices(c, ShellKind::MessageBox), 0; }},
      {"answer", Answer},
      {"opened", ListOpened},
      {"press", Press},
      {"tree", ListTree},
      {"tree-click", ClickTree},
      {"player",
       [](const Context& c) {
         return RunPlayerCommand(std::vector<std::string>(c.arguments.begin() + 1, c.arguments.end()),
                                 c.out, c.errors);
       }},
  };
  if (arguments.empty()) {
    return Usage(context, "no command given");
  }
  if (arguments[0] == "--help" || arguments[0] == "-h") {
    out << kUsage << kPlayerUsage;
    PrintSessionCommandHelp(out);
    return 0;
  }
  const auto command = kCommands.find(arguments[0]);
  if (command == kCommands.end()) {
    for (const SessionCommand& sessionCommand : SessionCommands()) {
      if (arguments[0] == sessionCommand.name) {
        return sessionCommand.run(Words(arguments.begin() + 1, arguments.end()), out, errors);
      }
    }
    return Usage(context, "unknown command \"" + arguments[0] + "\"");
  }
  return command->second(context);
}

}  // namespace platformctl

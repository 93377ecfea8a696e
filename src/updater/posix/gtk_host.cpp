#include "updater/posix/gtk_host.h"

#include <gtkmm.h>

#include "updater/posix/terminal_host.h"

namespace ombrix::updater::posix {

bool HasDisplay(const Environment& environment) {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const auto value = environment.Get(variable);
    if (value && !value->empty()) return true;
  }
  return false;
}

std::unique_ptr<WindowHost> MakeWindowHost(const Environment& environment) {
  if (HasDisplay(environment)) return std::make_unique<GtkHost>();
  return std::make_unique<TerminalHost>(environment);
}

namespace {

// Registering the application sets GTK up for this process; widgets come after.
Glib::RefPtr<Gtk::Application> Application() {
  auto application = Gtk::Application::create("org.farrowgate.PellorUpdate", Gio::APPLICATION_NON_UNIQUE);
  application->register_application();
  return application;
}

}  // namespace

struct GtkHost::Widgets {
  Gtk::Window window;
  Gtk::Box box{Gtk::ORIENTATION_VERTICAL, 6};
  Gtk::Label prompt{"Please select the language for your download:"};
  Gtk::Box choice{Gtk::ORIENTATION_HORIZONTAL, 6};
  Gtk::ComboBoxText languages;
  Gtk::Button ok{"OK"};
  Gtk::ProgressBar progress;
  Gtk::ProgressBar marquee;
  Gtk::Label status{"Calculating time remaining"};
  sigc::connection pulse;
};

// A call waiting for the loop. Shared with the loop's idle source, which may still
// hold it after the caller gave up; `call` is cleared then.
struct GtkHost::Pending {
  const std::function<void()>* call;
  bool done = false;
};

GtkHost::GtkHost() = default;

GtkHost::~GtkHost() = default;

bool GtkHost::OnLoopThread() { return shared->running && shared->loopThread == std::this_thread::get_id(); }

void GtkHost::RunModal(WindowEvents& events) {
  {
    std::lock_guard<std::mutex> held(shared->lock);
    if (shared->running || widgets) return;
  }
  const Glib::RefPtr<Gtk::Application> application = Application();
  auto created = std::make_unique<Widgets>();
  Widgets& w = *created;
  w.window.set_resizable(false);
  w.window.set_position(Gtk::WIN_POS_CENTER);
  w.window.set_border_width(12);
  w.window.set_default_size(420, -1);
  w.prompt.set_xalign(0);
  w.status.set_xalign(0);
  w.languages.set_hexpand(true);
  w.choice.pack_start(w.languages);
  w.choice.pack_start(w.ok, Gtk::PACK_SHRINK);
  for (Gtk::Widget* child : std::initializer_list<Gtk::Widget*>{&w.prompt, &w.choice, &w.progress, &w.marquee, &w.status}) {
    w.box.pack_start(*child, Gtk::PACK_SHRINK);
  }
  w.window.add(w.box);
  w.box.show_all();
  w.marquee.hide();
  w.progress.hide();
  w.ok.set_can_default(true);
  w.ok.signal_clicked().connect([&events] { events.OnOk(); });
  {
    std::lock_guard<std::mutex> held(shared->lock);
    widgets = std::move(created);
    shared->running = true;
    shared->loopThread = std::this_thread::get_id();
  }
  Glib::signal_idle().connect_once([&events, this] {
    widgets->ok.grab_default();
    events.OnInit();
  });
  application->run(widgets->window);
  std::unique_ptr<Widgets> ended;
  {
    std::lock_guard<std::mutex> held(shared->lock);
    shared->running = false;
    ended = std::move(widgets);
    shared->ran.notify_all();
  }
  ended->pulse.disconnect();
}

bool GtkHost::Send(const std::function<void()>& call) {
  std::unique_lock<std::mutex> held(shared->lock);
  if (shared->running && shared->loopThread == std::this_thread::get_id()) {
    held.unlock();
    call();
    return true;
  }
  if (!shared->running) return false;
  auto pending = std::make_shared<Pending>();
  pending->call = &call;
  Glib::signal_idle().connect_once([state = shared, pending] {
    const std::function<void()>* run;
    {
      std::lock_guard<std::mutex> guard(state->lock);
      run = pending->call;
    }
    if (run) (*run)();
    std::lock_guard<std::mutex> guard(state->lock);
    pending->done = true;
    state->ran.notify_all();
  });
  shared->ran.wait(held, [&] { return pending->done || !shared->running; });
  pending->call = nullptr;  // the source may outlive this call: it must not run it then
  return pending->done;
}

void GtkHost::MessageBox(const std::string& title, const std::string& text) {
  bool onLoop;
  {
    std::lock_guard<std::mutex> held(shared->lock);
    onLoop = OnLoopThread();
  }
  if (!onLoop && Send([&] { MessageBox(title, text); })) return;
  // Without a window the box stands alone, on this thread; GTK is set up once.
  if (!onLoop) static const auto setUp = Application();
  Gtk::MessageDialog box(text, false, Gtk::MESSAGE_ERROR, Gtk::BUTTONS_OK, true);
  if (onLoop) box.set_transient_for(widgets->window);
  box.set_title(title);
  box.set_position(Gtk::WIN_POS_CENTER);
  if (answer) {
    box.signal_show().connect([this, &box, text] {
      answer(text);
      Glib::signal_idle().connect_once([&box] { box.response(Gtk::RESPONSE_OK); });
    });
  }
  box.run();
}

void GtkHost::SetTitle(const std::string& title) { widgets->window.set_title(title); }

void GtkHost::Show(Control control, bool shown) {
  Gtk::Widget* widget = nullptr;
  switch (control) {
    case Control::Progress: widget = &widgets->progress; break;
    case Control::StatusText: widget = &widgets->status; break;
    case Control::Marquee: widget = &widgets->marquee; break;
    case Control::LanguageList: widget = &widgets->languages; break;
    case Control::OkButton: widget = &widgets->ok; break;
    case Control::LanguageLabel: widget = &widgets->prompt; break;
  }
  widget->set_visible(shown);
  widget->set_sensitive(shown);
  // The row of the drop-down and OK goes with its two controls.
  widgets->choice.set_visible(widgets->languages.get_visible() || widgets->ok.get_visible());
}

void GtkHost::SetText(Control control, const std::string& text) {
  if (control == Control::StatusText) widgets->status.set_text(text);
}

void GtkHost::SetProgress(int percent) { widgets->progress.set_fraction(std::clamp(percent, 0, 100) / 100.0); }

void GtkHost::StartMarquee() {
  if (widgets->pulse.connected()) return;
  widgets->pulse = Glib::signal_timeout().connect(
      [this] {
        widgets->marquee.pulse();
        return true;
      },
      100);
}

void GtkHost::FillList(const std::vector<std::string>& items, int selected) {
  widgets->languages.remove_all();
  for (const std::string& item : items) widgets->languages.append(item);
  widgets->languages.set_active(selected);
}

int GtkHost::GetSelection() { return widgets->languages.get_active_row_number(); }

void GtkHost::EndModal() { widgets->window.hide(); }

void GtkHost::AnswerMessageBoxes(std::function<void(const std::string& text)> seen) { answer = std::move(seen); }

bool GtkHost::SaveScreenshot(const std::string& pngPath) {
  bool saved = false;
  Send([&] {
    // Drawn into an image from the widgets' current state, whatever the display
    // has shown so far.
    Gtk::Window& window = widgets->window;
    const int width = window.get_allocated_width(), height = window.get_allocated_height();
    if (width <= 1 || height <= 1) return;
    auto surface = Cairo::ImageSurface::create(Cairo::FORMAT_ARGB32, width, height);
    gtk_widget_draw(GTK_WIDGET(window.gobj()), Cairo::Context::create(surface)->cobj());
    try {
      surface->write_to_png(pngPath);
      saved = true;
    } catch (const std::exception&) {
    }
  });
  return saved;
}

std::string GtkHost::Title() {
  std::string title;
  Send([&] { title = widgets->window.get_title(); });
  return title;
}

}  // namespace ombrix::updater::posix

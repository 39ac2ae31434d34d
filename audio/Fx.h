#pragma once
// The floating level meter form.
namespace sonvera {

class Fx {
 public:
  static Fx& Instance();
  void Load() { m_loaded = true; }
  void Unload() { m_loaded = false; }
  bool Loaded() const { return m_loaded; }

 private:
  bool m_loaded = false;
};

}  // namespace sonvera

#include "forms/Layouts.h"
#include "runtime/win32/Graphics.h"

namespace korvath {
namespace {

// Colours as the layout stores them: 0x00BBGGRR.
constexpr int kText = 13290186;        // #CACACA
constexpr int kButtonText = 15263976;  // #E8E8E8
constexpr int kListColour = 5454895;   // #2F3C53
constexpr int kCheckColour = 5453090;  // #223553

TControlDesc Text(const char* name, int left, int top, int width, const char* caption,
                  bool bold = false) {
  TControlDesc label{name,
                     "TLabel",
                     nullptr,
                     {{"Left", left},
                      {"Top", top},
                      {"Width", width},
                      {"Height", 13},
                      {"Caption", TText{caption}},
                      {"Font.Color", kText},
                      {"Transparent", true}}};
  if (bold) label.Props.push_back({"Font.Bold", true});
  return label;
}

TControlDesc Button(const char* name, int left, const char* caption, const char* handler) {
  return {name,
          "TSpeedButton",
          nullptr,
          {{"Left", left},
           {"Top", 256},
           {"Width", 59},
           {"Height", 25},
           {"Caption", TText{caption}},
           {"Flat", true},
           {"Font.Color", kButtonText},
           {"OnClick", THandlerRef{handler}}}};
}

TControlDesc List(const char* name, int left, int top, int width, const char* items, bool ctl3D,
                  int tabOrder) {
  return {name,
          "TComboBox",
          nullptr,
          {{"Left", left},
           {"Top", top},
           {"Width", width},
           {"Height", 21},
           {"Style", TText{"csDropDownList"}},
           {"Ctl3D", ctl3D},
           {"Color", kListColour},
           {"Font.Color", kText},
           {"ItemHeight", 13},
           {"Items.Strings", TText{items}},
           {"TabOrder", tabOrder}}};
}

TControlDesc Check(const char* name, int left, int top, int width, const char* caption,
                   int tabOrder) {
  return {name,
          "TCheckBox",
          nullptr,
          {{"Left", left},
           {"Top", top},
           {"Width", width},
           {"Height", 17},
           {"Caption", TText{caption}},
           {"Color", kCheckColour},
           {"Font.Color", kText},
           {"TabOrder", tabOrder}}};
}

}  // namespace

const TFormDesc Form1Layout{
    {
        {"Left", 0},
        {"Top", 0},
        {"BorderStyle", TText{"bsNone"}},
        {"Caption", TText{"Form1"}},
        {"ClientWidth", 220},
        {"ClientHeight", 300},
        {"Color", clBtnFace},
        {"Font.Color", clWindowText},
        {"Font.Height", -11},
        {"Font.Name", TText{"MS Sans Serif"}},
        {"Position", TText{"poMainFormCenter"}},
        {"Visible", false},
        {"OnCreate", THandlerRef{"FormCreate"}},
        {"OnMouseDown", THandlerRef{"FormMouseDown"}},
        {"OnMouseMove", THandlerRef{"FormMouseMove"}},
        {"OnMouseUp", THandlerRef{"FormMouseUp"}},
    },
    {
        {"Image1",
         "TImage",
         nullptr,
         {{"Left", 0},
          {"Top", 0},
          {"Width", 220},
          {"Height", 300},
          {"Picture", TPictureRef{"FORM1_BACK"}},
          {"Visible", false}}},
        Text("Label1", 35, 111, 56, "Resolution :"),
        Text("Label2", 28, 135, 63, "Color quality :"),
        Text("Label3", 27, 159, 64, "Refresh rate :"),
        Button("SpeedButton1", 48, "Apply", "SpeedButton1Click"),
        Button("SpeedButton2", 114, "Cancel", "SpeedButton2Click"),
        Text("Label4", 32, 224, 27, "Loot :"),
        Text("Label5", 73, 88, 85, "Game settings ", true),
        Text("Label6", 67, 42, 98, "Updater settings ", true),
        List("ComboBox1", 100, 108, 93, "640x480\n800x600\n1024x768\n1280x960\n1280x1024", false,
             0),
        List("ComboBox2", 100, 132, 93, "32 Bit\n16 Bit", false, 1),
        List("ComboBox3", 100, 156, 93, "60 hz\n75 hz\n85 hz\n100 hz", true, 2),
        Check("CheckBox1", 100, 182, 97, "Low Detail", 3),
        Check("CheckBox2", 100, 200, 97, "FullScreen", 4),
        List("ComboBox4", 66, 221, 127,
             "Finders Keepers\nRandom\nRandom including spoil\nBy turn\nBy turn including spoil",
             true, 5),
        Check("CheckBox3", 31, 58, 169, "Create Backup before update", 6),
    }};

}  // namespace korvath

.pragma library
// The panel's colours and type, close to the desktop's light appearance.
var label = "#1d1d1f";
var secondary = "#6e6e73";
var blue = "#0a7aff";
var red = "#ff3b30";
var windowBackground = "#ececec";
var separator = "#000000";
var material = "#f4f4f6";

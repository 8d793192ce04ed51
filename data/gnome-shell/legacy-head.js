// Orvella's GNOME Shell extension, for GNOME Shell 43 and 44.
'use strict';
const {Gio, GLib, Meta, Clutter} = imports.gi;
const Shell = imports.gi.Shell;
const Main = imports.ui.main;

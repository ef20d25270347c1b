#include "app/AppDelegate.h"

AppDelegate::AppDelegate(QObject* parent) : QObject(parent) {}

void AppDelegate::applicationDidFinishLaunching() { nothingToDo(); }

void AppDelegate::applicationWillTerminate() { nothingToDo(); }

void AppDelegate::nothingToDo() {}

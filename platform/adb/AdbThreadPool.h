#pragma once

class QThreadPool;

// The worker pool of the ADB layer; the shell drains it at exit.
QThreadPool *adbThreadPool();

#pragma once
#include <QImage>

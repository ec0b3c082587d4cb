#pragma once
// A label showing one field of the current record behind a data source.

#include "store/controls/DataAware.h"

#include <QLabel>

class DBText : public DataAware<QLabel>
{
    Q_OBJECT
public:
    explicit DBText(QWidget* parent = nullptr);
};

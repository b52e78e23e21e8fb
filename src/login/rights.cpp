#include "login/rights.h"
#include "login/loginsession.h"

namespace Rights {

QStringList alwaysEnabledEntries()
{
    return {QStringLiteral("m_login"), QStringLiteral("m_exit"), QStringLiteral("m_Help"), QStringLiteral("m_About")};
}

QStringList queryEntries()
{
    return {QStringLiteral("m_QArchives"), QStringLiteral("m_QAddAsset"), QStringLiteral("m_QPrepare"),
            QStringLiteral("m_QLoan"),     QStringLiteral("m_QMaintain"), QStringLiteral("m_QDecAsset"),
            QStringLiteral("m_QSumy"),     QStringLiteral("m_zcfllb"),    QStringLiteral("m_bmzcmxlb"),
            QStringLiteral("m_matureAssetList"), QStringLiteral("m_AddList"), QStringLiteral("m_decList"),
            QStringLiteral("m_grloanlist"), QStringLiteral("m_modifpassword")};
}

QStringList billEntries()
{
    return {QStringLiteral("m_AddAsset"), QStringLiteral("m_Archives"), QStringLiteral("m_Prepare"),
            QStringLiteral("m_Loan"),     QStringLiteral("m_Back"),     QStringLiteral("m_Maintain"),
            QStringLiteral("m_Retake"),   QStringLiteral("m_DecAsset")};
}

QStringList baseDataEntries()
{
    return {QStringLiteral("m_dept"), QStringLiteral("m_Staffer"), QStringLiteral("m_Assetype"),
            QStringLiteral("m_AssetArchives"), QStringLiteral("m_Codes")};
}

Grant grantFor(int level)
{
    Grant g;
    g.queries = level > 0;
    g.bills = level > 1;
    g.baseData = level > 2;
    return g;
}

QString loginLine(const LoginSession &session)
{
    return QStringLiteral("登录人：[") + session.LoginCode + QStringLiteral("]") + session.LoginName
        + QString(10, QLatin1Char(' ')) + QStringLiteral("登录时间：") + session.LoginTime.toString(QStringLiteral("hh:mm:ss"));
}

} // namespace Rights

#include "host/gui/DisplayWidgetMulti.h"

#include "host/gui/DataDisplayHandlerFactory.h"
#include "host/gui/GlSliceView.h"
#include "host/gui/GlVolumeView.h"
#include "host/gui/InteractiveObject.h"
#include "host/gui/View.h"
#include "host/core/Configurable.h"
#include "host/lib/Data.h"
#include "host/lib/DataModel.h"
#include "host/lib/SharedImageSet.h"

#include <QGridLayout>

#include <algorithm>

namespace Quorvale
{
	DisplayWidgetMulti::DisplayWidgetMulti(QWidget* parent)
	    : QWidget(parent)
	{
		auto* grid = new QGridLayout(this);
		grid->setContentsMargins(0, 0, 0, 0);
		grid->setSpacing(2);
		for (int axis : {2, 1, 0})
			m_views.push_back(new GUI::View(std::make_unique<GlSliceView>(axis), this));
		m_views.push_back(new GUI::View(std::make_unique<GlVolumeView>(), this));
		grid->addWidget(m_views[0], 0, 0);
		grid->addWidget(m_views[3], 0, 1);
		grid->addWidget(m_views[1], 1, 0);
		grid->addWidget(m_views[2], 1, 1);
		createHandlers();
	}

	DisplayWidgetMulti::~DisplayWidgetMulti()
	{
		m_receiver.disconnectAll();
		for (GUI::View* view : m_views)
		{
			for (auto& handler : m_handlers)
				handler->viewRemoved(view);
			delete view;
		}
		m_views.clear();
		m_handlers.clear();
	}

	void DisplayWidgetMulti::createHandlers()
	{
		const auto& factory = DataDisplayHandlerFactory::get();
		for (const std::string& name : factory.names())
		{
			if (std::find(m_handlerNames.begin(), m_handlerNames.end(), name) != m_handlerNames.end())
				continue;
			if (auto handler = factory.create(name))
			{
				m_handlers.push_back(std::move(handler));
				m_handlerNames.push_back(name);
			}
		}
	}

	void DisplayWidgetMulti::setDataModel(DataModel* model)
	{
		m_receiver.disconnectAll();
		m_model = model;
		if (!model)
			return;
		model->signalAboutToRemove.connect(&m_receiver,
		                                   [this](Data* data)
		                                   {
			                                   hideData(data);
			                                   if (data == m_image)
				                                   setCurrentImage(nullptr);
		                                   });
	}

	std::vector<GUI::View*> DisplayWidgetMulti::views() const { return m_views; }

	void DisplayWidgetMulti::addObject(InteractiveObject* object, const std::vector<GUI::View*>& views)
	{
		if (!object)
			return;
		for (GUI::View* view : views)
			if (view)
			{
				view->glView()->addObject(object->glObject());
				view->glView()->addManipulator(object->baseManipulator());
			}
		requestUpdate();
	}

	void DisplayWidgetMulti::removeObject(InteractiveObject* object, const std::vector<GUI::View*>& views)
	{
		if (!object)
			return;
		for (GUI::View* view : views)
			if (view)
			{
				view->glView()->removeObject(object->glObject());
				view->glView()->removeManipulator(object->baseManipulator());
			}
		requestUpdate();
	}

	GUI::View* DisplayWidgetMulti::view2D(int i) const { return i >= 0 && i < 3 ? m_views[static_cast<size_t>(i)] : nullptr; }

	GUI::View* DisplayWidgetMulti::view3D(int i) const { return i == 0 ? m_views[3] : nullptr; }

	std::vector<GUI::View*> DisplayWidgetMulti::viewsSlice() const { return {m_views[0], m_views[1], m_views[2]}; }

	std::vector<GUI::View*> DisplayWidgetMulti::viewGroup(int i) const
	{
		if (i == 0)
			return viewsSlice();
		if (i == 1)
			return {m_views[3]};
		return {};
	}

	void DisplayWidgetMulti::setCurrentImage(SharedImageSet* image)
	{
		m_image = image;
		for (GUI::View* view : m_views)
			view->glView()->setImage(image);
		// Slice views change kind with the image (planar or volume): offer the shown data anew.
		for (Data* data : std::vector<Data*>(m_shown))
			reshow(data);
		requestUpdate();
	}

	DataDisplayHandler* DisplayWidgetMulti::handlerFor(const Data* data)
	{
		createHandlers();
		for (auto& handler : m_handlers)
			if (handler->canHandle(data))
				return handler.get();
		return nullptr;
	}

	void DisplayWidgetMulti::reshow(Data* data)
	{
		DataDisplayHandler* handler = handlerFor(data);
		if (!handler)
			return;
		for (GUI::View* view : m_views)
		{
			if (handler->canShowIn(data, view))
				handler->show(data, view);
			else
				handler->hide(data, view);
		}
	}

	bool DisplayWidgetMulti::showData(Data* data)
	{
		if (!data || !handlerFor(data))
			return false;
		if (!isShown(data))
		{
			m_shown.push_back(data);
			follow(data);
		}
		reshow(data);
		signalShownDataChanged.emitSignal();
		requestUpdate();
		return true;
	}

	void DisplayWidgetMulti::hideData(Data* data)
	{
		if (!isShown(data))
			return;
		if (DataDisplayHandler* handler = handlerFor(data))
			for (GUI::View* view : m_views)
				handler->hide(data, view);
		m_shown.erase(std::remove(m_shown.begin(), m_shown.end(), data), m_shown.end());
		m_followers.erase(data);
		signalShownDataChanged.emitSignal();
		requestUpdate();
	}

	bool DisplayWidgetMulti::isShown(const Data* data) const { return std::find(m_shown.begin(), m_shown.end(), data) != m_shown.end(); }

	DataList DisplayWidgetMulti::shownData() const { return DataList(m_shown); }

	std::unique_ptr<QWidget> DisplayWidgetMulti::createOptionsWidget(Data* data)
	{
		DataDisplayHandler* handler = handlerFor(data);
		return handler ? handler->createOptionsWidget(data, this, nullptr) : nullptr;
	}

	void DisplayWidgetMulti::follow(Data* data)
	{
		auto& receiver = m_followers[data];
		receiver = std::make_unique<SignalReceiver>();
		for (DataComponentBase* component : data->components().all())
			component->signalParametersChanged.connect(receiver.get(), [this](ParameterBase*) { requestUpdate(); });
		data->signalDataChanged.connect(receiver.get(), [this] { requestUpdate(); });
		// Components added later are followed too: connect everything anew.
		data->components().signalChanged.connect(receiver.get(),
		                                         [this, data]
		                                         {
			                                         follow(data);
			                                         requestUpdate();
		                                         });
		// A shown object that goes without the model is forgotten.
		data->signalDeleted.connect(receiver.get(), [this](Data* gone) { hideData(gone); });
	}

	void DisplayWidgetMulti::requestUpdate()
	{
		signalUpdateRequested.emitSignal();
		for (GUI::View* view : m_views)
			view->update();
	}
}

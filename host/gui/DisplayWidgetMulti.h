#pragma once

#include "host/core/Signal.h"
#include "host/gui/DataDisplayHandler.h"
#include "host/lib/DataList.h"

#include <QWidget>

#include <map>
#include <memory>
#include <vector>

namespace Quorvale
{
	class Data;
	class DataModel;
	class InteractiveObject;
	class SharedImageSet;

	namespace GUI
	{
		class View;
	}

	/// The multi-view display: three orthogonal slice views (axial, coronal, sagittal) and a 3-D view in
	/// a 2 x 2 grid. Shows data through one handler of every registered display handler type, shows the
	/// current image in every view, and keeps everything it shows consistent with the data model: data is
	/// hidden from every view before the model deletes it, and handlers hear of each view before it goes.
	class DisplayWidgetMulti : public QWidget, public GUI::UpdateHook
	{
		Q_OBJECT

	public:
		explicit DisplayWidgetMulti(QWidget* parent = nullptr);
		~DisplayWidgetMulti() override;

		/// Follows the model's removals (may be null); the model must outlive this widget or be unset.
		void setDataModel(DataModel* model);

		/// The four views: the slice views, then the 3-D view.
		std::vector<GUI::View*> views() const;
		/// The i-th slice view (0 axial, 1 coronal, 2 sagittal), or null.
		GUI::View* view2D(int i = 0) const;
		/// The i-th 3-D view, or null.
		GUI::View* view3D(int i = 0) const;
		std::vector<GUI::View*> viewsSlice() const;
		/// Group 0: the three slice views; group 1: the 3-D view.
		std::vector<GUI::View*> viewGroup(int i) const;

		/// Shows an interactive object (not owned) in the views: its object is drawn there and its
		/// manipulator receives their input events. It must be removed before it is deleted.
		void addObject(InteractiveObject* object, const std::vector<GUI::View*>& views);
		void addObject(InteractiveObject* object, GUI::View* view) { addObject(object, std::vector<GUI::View*>{view}); }
		/// Removes it from those views (nothing where it is not shown).
		void removeObject(InteractiveObject* object, const std::vector<GUI::View*>& views);
		void removeObject(InteractiveObject* object, GUI::View* view) { removeObject(object, std::vector<GUI::View*>{view}); }

		/// The image shown under everything (not owned; null for none).
		void setCurrentImage(SharedImageSet* image);
		SharedImageSet* currentImage() const { return m_image; }

		/// Shows the data in every view its handler accepts; false when no handler takes it.
		bool showData(Data* data);
		/// Removes the data from every view.
		void hideData(Data* data);
		bool isShown(const Data* data) const;
		DataList shownData() const;

		/// The handler that shows data of this type, or null.
		DataDisplayHandler* handlerFor(const Data* data);
		/// The display-options editor of the data, or null.
		std::unique_ptr<QWidget> createOptionsWidget(Data* data);

		/// Schedules a repaint of every view (views are never painted synchronously).
		void requestUpdate() override;

		/// Emitted when the set of shown data changed.
		Signal<> signalShownDataChanged;
		/// Emitted by every `requestUpdate`.
		Signal<> signalUpdateRequested;

	private:
		void createHandlers();
		/// Shows the data again in the views that accept it now (after the image changed).
		void reshow(Data* data);
		/// Repaints when the shown data, its component list or one of its components changes.
		void follow(Data* data);

		std::vector<GUI::View*> m_views; ///< owned by Qt parenting
		std::vector<std::unique_ptr<DataDisplayHandler>> m_handlers;
		std::vector<std::string> m_handlerNames;
		std::vector<Data*> m_shown;
		SharedImageSet* m_image = nullptr;
		DataModel* m_model = nullptr;
		SignalReceiver m_receiver;
		std::map<const Data*, std::unique_ptr<SignalReceiver>> m_followers; ///< per shown data
	};
}
